#!/usr/bin/python3
"""Writes the PowerPoint test decks of tests/data/pptx as unzipped package trees.

Usage: make-trees.py BASE_PPTX

BASE_PPTX is a presentation saved by PowerPoint 12 (Text_100chars.pptx, MIT, from
the Open XML SDK test assets); its slide master, eleven layouts, themes, notes
master, presentation properties, view properties, table styles and document
properties are taken as they are, so that the decks carry the parts PowerPoint
writes. Slides, notes, charts, workbooks, pictures and viewer controls are
written here (chart, workbook and PNG helpers are shared with the Word decks).
The build zips the trees (kiv_zip_tree).

  tagged/   slide1 a title slide (centred title, subtitle holding a field macro);
            slide2 a static slide holding every tag kind: title placeholder
            SIT1_TITLE, text box SIT1_TEXT, picture SIT2_PICTURE, 3-column table
            SIT3_TABLE, scatter chart SIT4_CHART with its workbook, macro shape
            SIT1_$DATABASE_NAME, 3D control SIT5_MDLX (mc:AlternateContent, fallback
            picture, VML drawing) and the plug-in warning link; slide3 a generic
            slide (SIT_TITLE, SIT_PICTURE, SIT_TEXT, REF_SIT_TEXT) with notes;
            slide4 a group shape holding the 2-column table SIT12_TABLE and the
            picture SIT12_PICTURE, beside a text box.
  order/    three slides related as rId2, rId3 (generic, with notes) and rId7.
  noslides/ the presentation without any slide, as PowerPoint saves it.
"""
import importlib.util
import os
import shutil
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location('docx_trees', os.path.join(HERE, '..', 'docx', 'make-trees.py'))
docx = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(docx)

DECL = docx.DECL
REL = docx.REL
PML = 'application/vnd.openxmlformats-officedocument.presentationml.'
NS = ('xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
      'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"')
TREE_START = ('<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>'
              '<a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/><a:chExt cx="0" cy="0"/></a:xfrm>'
              '</p:grpSpPr>')
BASE_PARTS = ['ppt/slideMasters/slideMaster1.xml', 'ppt/slideMasters/_rels/slideMaster1.xml.rels',
              'ppt/theme/theme1.xml', 'ppt/theme/theme2.xml', 'ppt/notesMasters/notesMaster1.xml',
              'ppt/notesMasters/_rels/notesMaster1.xml.rels', 'ppt/presProps.xml', 'ppt/viewProps.xml',
              'ppt/tableStyles.xml', 'docProps/core.xml', 'docProps/app.xml']
BASE_PARTS += ['ppt/slideLayouts/slideLayout%d.xml' % i for i in range(1, 12)]
BASE_PARTS += ['ppt/slideLayouts/_rels/slideLayout%d.xml.rels' % i for i in range(1, 12)]
WARNING = 'Orvia Plugin not installed. Press here to install plugin'


def xfrm(x, y, cx, cy):
    return '<a:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/></a:xfrm>' % (x, y, cx, cy)


def run(text, props='lang="en-US" dirty="0"'):
    return '<a:r><a:rPr %s/><a:t>%s</a:t></a:r>' % (props, text)


def placeholder(sid, name, ph, text, ppr=''):
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr>'
            '<p:nvPr><p:ph %s/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/><a:p>%s%s'
            '<a:endParaRPr lang="en-US" dirty="0"/></a:p></p:txBody></p:sp>' % (sid, name, ph, ppr, run(text)))


def text_box(sid, name, text, x=457200, y=5000000, cx=4000000, cy=400000, link=None):
    click = '<a:hlinkClick r:id="%s"/>' % link if link else ''
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s">%s</p:cNvPr><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
            '<p:spPr>%s<a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:noFill/></p:spPr>'
            '<p:txBody><a:bodyPr wrap="square" rtlCol="0"><a:spAutoFit/></a:bodyPr><a:lstStyle/><a:p>'
            '<a:pPr algn="ctr"/>%s<a:endParaRPr lang="en-US" dirty="0"/></a:p></p:txBody></p:sp>'
            % (sid, name, click, xfrm(x, y, cx, cy), run(text, 'lang="en-US" sz="1400" b="1" dirty="0"')))


def picture(sid, name, rid, x, y, cx, cy, descr=''):
    return ('<p:pic><p:nvPicPr><p:cNvPr id="%d" name="%s" descr="%s"/><p:cNvPicPr><a:picLocks noChangeAspect="1"/>'
            '</p:cNvPicPr><p:nvPr/></p:nvPicPr><p:blipFill><a:blip r:embed="%s"/><a:stretch><a:fillRect/>'
            '</a:stretch></p:blipFill><p:spPr>%s<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr></p:pic>'
            % (sid, name, descr, rid, xfrm(x, y, cx, cy)))


def cell(text, bold=False):
    props = 'lang="en-US" sz="1200"%s dirty="0"' % (' b="1"' if bold else '')
    return ('<a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p>%s<a:endParaRPr lang="en-US" sz="1200" dirty="0"/>'
            '</a:p></a:txBody><a:tcPr/></a:tc>' % (run(text, props) if text else ''))


def table_frame(sid, name, widths, rows, x, y, frame_xfrm='p:xfrm'):
    grid = ''.join('<a:gridCol w="%d"/>' % w for w in widths)
    body = ''.join('<a:tr h="370840">%s</a:tr>' % ''.join(cell(t, r == 0) for t in row)
                   for r, row in enumerate(rows))
    return ('<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="%d" name="%s"/><p:cNvGraphicFramePr>'
            '<a:graphicFrameLocks noGrp="1"/></p:cNvGraphicFramePr><p:nvPr/></p:nvGraphicFramePr>'
            '<p:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/></p:xfrm><a:graphic>'
            '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/table"><a:tbl>'
            '<a:tblPr firstRow="1" bandRow="1"><a:tableStyleId>{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}</a:tableStyleId>'
            '</a:tblPr><a:tblGrid>%s</a:tblGrid>%s</a:tbl></a:graphicData></a:graphic></p:graphicFrame>'
            % (sid, name, x, y, sum(widths), 370840 * len(rows), grid, body))


def chart_frame(sid, name, rid, x, y, cx, cy):
    return ('<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="%d" name="%s"/><p:cNvGraphicFramePr/><p:nvPr/>'
            '</p:nvGraphicFramePr><p:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/></p:xfrm><a:graphic>'
            '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart">'
            '<c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id="%s"/>'
            '</a:graphicData></a:graphic></p:graphicFrame>' % (sid, name, x, y, cx, cy, rid))


def control(name, spid, control_rid, image_rid, sid):
    return ('<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
            '<mc:Choice xmlns:v="urn:schemas-microsoft-com:vml" Requires="v">'
            '<p:control spid="%s" name="%s" r:id="%s" imgW="3300000" imgH="1700000"/></mc:Choice>'
            '<mc:Fallback><p:control name="%s" r:id="%s" imgW="3300000" imgH="1700000"><p:pic><p:nvPicPr>'
            '<p:cNvPr id="%d" name="%s"/><p:cNvPicPr><a:picLocks noChangeAspect="1" noChangeArrowheads="1"/>'
            '</p:cNvPicPr><p:nvPr/></p:nvPicPr><p:blipFill><a:blip r:embed="%s"/><a:srcRect/><a:stretch>'
            '<a:fillRect/></a:stretch></p:blipFill><p:spPr>%s<a:prstGeom prst="rect"><a:avLst/></a:prstGeom>'
            '</p:spPr></p:pic></p:control></mc:Fallback></mc:AlternateContent>'
            % (spid, name, control_rid, name, control_rid, sid, name, image_rid, xfrm(4800000, 3600000, 3300000, 1700000)))


def slide(shapes, controls=''):
    ctl = '<p:controls>%s</p:controls>' % controls if controls else ''
    return (DECL + '<p:sld %s><p:cSld><p:spTree>%s%s</p:spTree>%s</p:cSld><p:clrMapOvr><a:masterClrMapping/>'
            '</p:clrMapOvr></p:sld>' % (NS, TREE_START, shapes, ctl))


def notes(slide_number_text, text):
    return (DECL + '<p:notes %s><p:cSld><p:spTree>%s'
            '<p:sp><p:nvSpPr><p:cNvPr id="2" name="Slide Image Placeholder 1"/><p:cNvSpPr><a:spLocks noGrp="1" '
            'noRot="1" noChangeAspect="1"/></p:cNvSpPr><p:nvPr><p:ph type="sldImg"/></p:nvPr></p:nvSpPr><p:spPr/>'
            '</p:sp><p:sp><p:nvSpPr><p:cNvPr id="3" name="Notes Placeholder 2"/><p:cNvSpPr><a:spLocks noGrp="1"/>'
            '</p:cNvSpPr><p:nvPr><p:ph type="body" idx="1"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/>'
            '<a:lstStyle/><a:p>%s<a:endParaRPr lang="en-US" dirty="0"/></a:p></p:txBody></p:sp></p:spTree></p:cSld>'
            '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:notes>' % (NS, TREE_START, run(text)))


def vml_drawing(shape_id, spid, image_rid):
    return ('<xml xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office" '
            'xmlns:p="urn:schemas-microsoft-com:office:powerpoint">'
            '<o:shapelayout v:ext="edit"><o:idmap v:ext="edit" data="1"/></o:shapelayout>'
            '<v:shapetype id="_x0000_t201" coordsize="21600,21600" o:spt="201" path="m,l,21600r21600,l21600,xe">'
            '<v:stroke joinstyle="miter"/><v:path shadowok="f" o:extrusionok="f" strokeok="f" fillok="f" '
            'o:connecttype="rect"/><o:lock v:ext="edit" shapetype="t"/></v:shapetype>'
            '<v:shape id="%s" o:spid="%s" type="#_x0000_t201" style="position:absolute;left:378pt;top:283.5pt;'
            'width:259.85pt;height:133.85pt" filled="f" stroked="f"><v:imagedata o:relid="%s" o:title=""/>'
            '</v:shape></xml>' % (shape_id, spid, image_rid))


def presentation(slide_rids, extra_rids):
    ids = ''.join('<p:sldId id="%d" r:id="%s"/>' % (256 + i, rid) for i, rid in enumerate(slide_rids))
    lst = '<p:sldIdLst>%s</p:sldIdLst>' % ids if ids else ''
    return (DECL + '<p:presentation %s saveSubsetFonts="1"><p:sldMasterIdLst><p:sldMasterId id="2147483648" '
            'r:id="%s"/></p:sldMasterIdLst><p:notesMasterIdLst><p:notesMasterId r:id="%s"/></p:notesMasterIdLst>'
            '%s<p:sldSz cx="9144000" cy="6858000" type="screen4x3"/><p:notesSz cx="6858000" cy="9144000"/>'
            '<p:defaultTextStyle><a:defPPr><a:defRPr lang="en-US"/></a:defPPr></p:defaultTextStyle></p:presentation>'
            % (NS, extra_rids['slideMaster'], extra_rids['notesMaster'], lst))


def content_types(overrides, defaults=()):
    out = (DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
           '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
           '<Default Extension="xml" ContentType="application/xml"/>')
    for ext, ctype in defaults:
        out += '<Default Extension="%s" ContentType="%s"/>' % (ext, ctype)
    base = [('/ppt/presentation.xml', PML + 'presentation.main+xml'),
            ('/ppt/slideMasters/slideMaster1.xml', PML + 'slideMaster+xml'),
            ('/ppt/notesMasters/notesMaster1.xml', PML + 'notesMaster+xml'),
            ('/ppt/presProps.xml', PML + 'presProps+xml'), ('/ppt/viewProps.xml', PML + 'viewProps+xml'),
            ('/ppt/tableStyles.xml', PML + 'tableStyles+xml'),
            ('/ppt/theme/theme1.xml', 'application/vnd.openxmlformats-officedocument.theme+xml'),
            ('/ppt/theme/theme2.xml', 'application/vnd.openxmlformats-officedocument.theme+xml'),
            ('/docProps/core.xml', 'application/vnd.openxmlformats-package.core-properties+xml'),
            ('/docProps/app.xml', 'application/vnd.openxmlformats-officedocument.extended-properties+xml')]
    base += [('/ppt/slideLayouts/slideLayout%d.xml' % i, PML + 'slideLayout+xml') for i in range(1, 12)]
    for name, ctype in base + list(overrides):
        out += '<Override PartName="%s" ContentType="%s"/>' % (name, ctype)
    return out + '</Types>'


def presentation_rels(slides, first_free):
    """slides: [(rid, target)]; the other parts take the ids from first_free on."""
    others = ['slideMaster', 'notesMaster', 'presProps', 'viewProps', 'theme', 'tableStyles']
    targets = {'slideMaster': 'slideMasters/slideMaster1.xml', 'notesMaster': 'notesMasters/notesMaster1.xml',
               'presProps': 'presProps.xml', 'viewProps': 'viewProps.xml', 'theme': 'theme/theme1.xml',
               'tableStyles': 'tableStyles.xml'}
    used = {rid for rid, _ in slides}
    ids, n = {}, first_free
    for kind in others:
        while 'rId%d' % n in used:
            n += 1
        ids[kind] = 'rId%d' % n
        used.add(ids[kind])
        n += 1
    items = [(ids[k], k, targets[k]) for k in others] + [(rid, 'slide', t) for rid, t in slides]
    return docx.rels(items), ids


def write_tree(name, base, files):
    root = os.path.join(HERE, name)
    if os.path.isdir(root):
        shutil.rmtree(root)
    with zipfile.ZipFile(base) as z:
        for part in BASE_PARTS:
            files.setdefault(part, z.read(part))
    files['_rels/.rels'] = docx.rels([
        ('rId1', 'officeDocument', 'ppt/presentation.xml'),
        ('rId2', 'http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties',
         'docProps/core.xml'),
        ('rId3', 'extended-properties', 'docProps/app.xml')])
    for part, data in files.items():
        path = os.path.join(root, part)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data if isinstance(data, bytes) else data.encode('utf-8'))


def notes_parts(files, number, slide_name, text):
    files['ppt/notesSlides/notesSlide%d.xml' % number] = notes(number, text)
    files['ppt/notesSlides/_rels/notesSlide%d.xml.rels' % number] = docx.rels([
        ('rId1', 'notesMaster', '../notesMasters/notesMaster1.xml'), ('rId2', 'slide', '../slides/' + slide_name)])
    return ('/ppt/notesSlides/notesSlide%d.xml' % number, PML + 'notesSlide+xml')


def tagged(base):
    files = {}
    files['ppt/slides/slide1.xml'] = slide(
        placeholder(2, 'Title 1', 'type="ctrTitle"', 'Simulation report')
        + placeholder(3, 'SIT1_$DATABASE_NAME', 'type="subTitle" idx="1"', 'Database'))
    files['ppt/slides/_rels/slide1.xml.rels'] = docx.rels([('rId1', 'slideLayout', '../slideLayouts/slideLayout1.xml')])

    files['ppt/slides/slide2.xml'] = slide(
        placeholder(2, 'SIT1_TITLE', 'type="title"', 'Title of snapshot 1', '<a:pPr algn="l"/>')
        + text_box(3, 'SIT1_TEXT', 'Description of snapshot 1', 457200, 1300000, 4000000, 400000)
        + picture(4, 'SIT2_PICTURE', 'rId2', 457200, 1900000, 3000000, 2000000, 'picture place')
        + table_frame(5, 'SIT3_TABLE', [1400000, 1400000, 1400000],
                      [['Node', 'X', 'Y'], ['1', '0.0', '0.5']], 457200, 4100000)
        + chart_frame(6, 'SIT4_CHART', 'rId3', 4800000, 1300000, 3900000, 2200000)
        + text_box(7, 'SIT1_$DATABASE_NAME', 'Database', 457200, 5800000)
        + text_box(8, 'Plugin link', WARNING, 4800000, 5500000, 3900000, 400000, 'rId6'),
        control('SIT5_MDLX', '_x0000_s1025', 'rId4', 'rId5', 9))
    files['ppt/slides/_rels/slide2.xml.rels'] = docx.rels([
        ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'), ('rId2', 'image', '../media/image1.png'),
        ('rId3', 'chart', '../charts/chart1.xml'), ('rId4', 'control', '../activeX/activeX1.xml'),
        ('rId5', 'image', '../media/image2.png'), ('rId7', 'vmlDrawing', '../drawings/vmlDrawing1.vml')]
    ).replace('</Relationships>', '<Relationship Id="rId6" Type="%shyperlink" Target="https://plugin.example/install" '
              'TargetMode="External"/></Relationships>' % REL)
    files['ppt/media/image1.png'] = docx.png(8, 6, (90, 140, 200))
    files['ppt/media/image2.png'] = docx.png(10, 5, (200, 200, 200))
    files['ppt/charts/chart1.xml'] = docx.chart_part()
    files['ppt/charts/_rels/chart1.xml.rels'] = docx.rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')])
    files['ppt/embeddings/Microsoft_Excel_Sheet1.xlsx'] = docx.workbook()
    files['ppt/activeX/activeX1.xml'] = docx.activex('')
    files['ppt/drawings/vmlDrawing1.vml'] = vml_drawing('SIT5_MDLX', '_x0000_s1025', 'rId1')
    files['ppt/drawings/_rels/vmlDrawing1.vml.rels'] = docx.rels([('rId1', 'image', '../media/image2.png')])

    files['ppt/slides/slide3.xml'] = slide(
        placeholder(2, 'SIT_TITLE', 'type="title"', 'Generic title')
        + picture(3, 'SIT_PICTURE', 'rId3', 457200, 1600000, 4000000, 3000000)
        + text_box(4, 'SIT_TEXT', 'Generic description', 4800000, 1600000)
        + text_box(5, 'REF_SIT_TEXT', 'Reference description', 4800000, 2400000))
    files['ppt/slides/_rels/slide3.xml.rels'] = docx.rels([
        ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'),
        ('rId2', 'notesSlide', '../notesSlides/notesSlide1.xml'), ('rId3', 'image', '../media/image1.png')])
    notes_ct = notes_parts(files, 1, 'slide3.xml', 'Notes of the generic slide')

    group = ('<p:grpSp><p:nvGrpSpPr><p:cNvPr id="2" name="Group 1"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
             '<p:grpSpPr><a:xfrm><a:off x="457200" y="1600000"/><a:ext cx="8000000" cy="2000000"/>'
             '<a:chOff x="457200" y="1600000"/><a:chExt cx="8000000" cy="2000000"/></a:xfrm></p:grpSpPr>%s%s'
             '</p:grpSp>' % (table_frame(3, 'SIT12_TABLE', [4000000, 2000000], [['Name', 'Value'], ['a', '1']],
                                         457200, 1600000),
                             picture(4, 'SIT12_PICTURE', 'rId2', 6600000, 1600000, 1800000, 1200000)))
    files['ppt/slides/slide4.xml'] = slide(
        placeholder(5, 'Title 4', 'type="title"', 'Grouped table') + group
        + text_box(6, 'TextBox 5', 'A note', 457200, 4500000))
    files['ppt/slides/_rels/slide4.xml.rels'] = docx.rels([
        ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'), ('rId2', 'image', '../media/image1.png')])

    slides = [('rId%d' % (i + 2), 'slides/slide%d.xml' % (i + 1)) for i in range(4)]
    files['ppt/_rels/presentation.xml.rels'], ids = presentation_rels(slides, 6)
    files['ppt/presentation.xml'] = presentation([rid for rid, _ in slides], ids)
    overrides = [('/ppt/slides/slide%d.xml' % i, PML + 'slide+xml') for i in range(1, 5)]
    overrides += [notes_ct, ('/ppt/charts/chart1.xml', docx.CHART_CT[1]),
                  ('/ppt/activeX/activeX1.xml', 'application/vnd.ms-office.activeX+xml')]
    files['[Content_Types].xml'] = content_types(overrides, [('png', 'image/png'), docx.XLSX_CT,
                                                              ('vml', 'application/vnd.openxmlformats-officedocument.vmlDrawing')])
    write_tree('tagged', base, files)


def order(base):
    files = {}
    files['ppt/slides/slide1.xml'] = slide(placeholder(2, 'Title 1', 'type="ctrTitle"', 'First'))
    files['ppt/slides/slide2.xml'] = slide(
        placeholder(2, 'SIT_TITLE', 'type="title"', 'Generic')
        + text_box(3, 'SIT_TEXT', 'Generic text', 457200, 1600000))
    files['ppt/slides/slide3.xml'] = slide(placeholder(2, 'Title 1', 'type="title"', 'Last'))
    files['ppt/slides/_rels/slide1.xml.rels'] = docx.rels([('rId1', 'slideLayout', '../slideLayouts/slideLayout1.xml')])
    files['ppt/slides/_rels/slide2.xml.rels'] = docx.rels([
        ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'),
        ('rId2', 'notesSlide', '../notesSlides/notesSlide1.xml')])
    files['ppt/slides/_rels/slide3.xml.rels'] = docx.rels([('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml')])
    notes_ct = notes_parts(files, 1, 'slide2.xml', 'Notes of the generic slide')
    slides = [('rId2', 'slides/slide1.xml'), ('rId3', 'slides/slide2.xml'), ('rId7', 'slides/slide3.xml')]
    files['ppt/_rels/presentation.xml.rels'], ids = presentation_rels(slides, 1)
    files['ppt/presentation.xml'] = presentation([rid for rid, _ in slides], ids)
    overrides = [('/ppt/slides/slide%d.xml' % i, PML + 'slide+xml') for i in range(1, 4)] + [notes_ct]
    files['[Content_Types].xml'] = content_types(overrides)
    write_tree('order', base, files)


def noslides(base):
    files = {}
    files['ppt/_rels/presentation.xml.rels'], ids = presentation_rels([], 1)
    files['ppt/presentation.xml'] = presentation([], ids)
    files['[Content_Types].xml'] = content_types([])
    write_tree('noslides', base, files)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    tagged(argv[1])
    order(argv[1])
    noslides(argv[1])
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
