#!/usr/bin/python3
"""Writes tagged variants of presentations saved by PowerPoint as package trees.

Usage: make-office-variants.py

Each variant starts from a tree of tests/data/office-templates/src (kept as
PowerPoint saved it) and adds slides, shapes and parts the way PowerPoint writes
them; the trees go to tests/data/office-templates/, whose SOURCES.md lists what
each holds. The build zips them.

  pp_links.pptx   from Image_Small: a WMF logo on the master, on the "Title and
                  Content" layout and on a notes page; slide 1 untagged, with a
                  chart whose user shapes draw a line (a drawing part of its own),
                  an OLE object whose preview picture only its VML drawing names,
                  links to slides 2 and 3, and the latest comment of its author;
                  slide 2 generic (SIT_TITLE, a picture
                  placeholder SIT_PICTURE whose box comes from the master, a link
                  to itself, notes, comments of two authors); slide 3 generic for
                  tables only (SIT_TABLE), with a modern comment and its reply; a
                  custom show and sections listing the slides.
  pp_shapes.pptx  from Image_Small: slide 1 on the "Picture with Caption" layout,
                  its picture placeholder SIT1_PICTURE cropped and without a box of
                  its own, SIT1_TITLE, SIT1_TEXT whose first paragraph is empty;
                  slide 2 a group scaling its content twice as wide, holding
                  SIT2_TITLE and SIT2_PICTURE, and the table SIT3_TABLE (a bold
                  header with an empty cell, two data rows of their own fill and
                  height); slide 3 generic with every tag inside a group.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OFFICE = os.path.join(HERE, '..', 'office-templates')
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
PML = 'application/vnd.openxmlformats-officedocument.presentationml.'
NS = ('xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
      'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"')
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'


class Tree:
    def __init__(self, source, name):
        self.root = os.path.join(OFFICE, name)
        if os.path.isdir(self.root):
            shutil.rmtree(self.root)
        shutil.copytree(os.path.join(OFFICE, 'src', source), self.root)

    def path(self, part):
        return os.path.join(self.root, *part.split('/'))

    def read(self, part):
        with open(self.path(part), encoding='utf-8') as f:
            return f.read()

    def write(self, part, data):
        os.makedirs(os.path.dirname(self.path(part)), exist_ok=True)
        with open(self.path(part), 'wb') as f:
            f.write(data if isinstance(data, bytes) else data.encode('utf-8'))

    def edit(self, part, old, new):
        text = self.read(part)
        assert old in text, (part, old)
        self.write(part, text.replace(old, new, 1))

    def relate(self, part, rid, kind, target, mode=''):
        folder, name = part.rsplit('/', 1)
        rels = folder + '/_rels/' + name + '.rels'
        rtype = kind if kind.startswith('http') else REL + kind
        extra = ' TargetMode="%s"' % mode if mode else ''
        entry = '<Relationship Id="%s" Type="%s" Target="%s"%s/>' % (rid, rtype, target, extra)
        if os.path.exists(self.path(rels)):
            self.edit(rels, '</Relationships>', entry + '</Relationships>')
        else:
            self.write(rels, DECL + '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
                       'relationships">' + entry + '</Relationships>')

    def content_type(self, part=None, ctype=None, extension=None):
        if extension:
            entry = '<Default Extension="%s" ContentType="%s"/>' % (extension, ctype)
        else:
            entry = '<Override PartName="/%s" ContentType="%s"/>' % (part, ctype)
        self.edit('[Content_Types].xml', '</Types>', entry + '</Types>')


def wmf(width, height):
    """A placeable Windows metafile: a filled rectangle."""
    records = [struct.pack('<IHHH', 5, 0x020B, 0, 0),                      # SetWindowOrg
               struct.pack('<IHhh', 5, 0x020C, height, width),             # SetWindowExt
               struct.pack('<IHHHI', 7, 0x02FC, 0, 0x2050, 0x80),          # CreateBrushIndirect
               struct.pack('<IHH', 4, 0x012D, 0),                          # SelectObject
               struct.pack('<IHhhhh', 7, 0x041B, height, width, 0, 0),     # Rectangle
               struct.pack('<IH', 3, 0)]                                   # EOF
    body = b''.join(records)
    header = struct.pack('<HHHIHHI', 1, 9, 0x300, (18 + len(body)) // 2, 1, 7, 0)
    placeable = struct.pack('<IHhhhhHI', 0x9AC6CDD7, 0, 0, 0, width, height, 1440, 0)
    checksum = 0
    for (word,) in struct.iter_unpack('<H', placeable[:20]):
        checksum ^= word
    return placeable + struct.pack('<H', checksum) + header + body


def xfrm(x, y, cx, cy):
    return '<a:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/></a:xfrm>' % (x, y, cx, cy)


def picture(sid, name, rid, box=None, ph='', crop=''):
    nvpr = '<p:nvPr><p:ph %s/></p:nvPr>' % ph if ph else '<p:nvPr/>'
    sppr = '<p:spPr>%s<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr>' % xfrm(*box) if box else '<p:spPr/>'
    return ('<p:pic><p:nvPicPr><p:cNvPr id="%d" name="%s"/><p:cNvPicPr><a:picLocks noGrp="1" noChangeAspect="1"/>'
            '</p:cNvPicPr>%s</p:nvPicPr><p:blipFill><a:blip r:embed="%s"/>%s<a:stretch><a:fillRect/></a:stretch>'
            '</p:blipFill>%s</p:pic>' % (sid, name, nvpr, rid, crop, sppr))


def run(text, props='lang="en-US" dirty="0"'):
    return '<a:r><a:rPr %s/><a:t>%s</a:t></a:r>' % (props, text)


def text_box(sid, name, paragraphs, box, link=None):
    click = '<a:hlinkClick r:id="%s" action="ppaction://hlinksldjump"/>' % link if link else ''
    body = ''.join('<a:p>%s<a:endParaRPr lang="en-US" dirty="0"/></a:p>' % (run(p) if p else '') for p in paragraphs)
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s">%s</p:cNvPr><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
            '<p:spPr>%s<a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:noFill/></p:spPr><p:txBody>'
            '<a:bodyPr wrap="square" rtlCol="0"><a:spAutoFit/></a:bodyPr><a:lstStyle/>%s</p:txBody></p:sp>'
            % (sid, name, click, xfrm(*box), body))


def placeholder(sid, name, ph, paragraphs):
    body = ''.join('<a:p>%s<a:endParaRPr lang="en-US" dirty="0"/></a:p>' % (run(p) if p else '') for p in paragraphs)
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr><p:nvPr>'
            '<p:ph %s/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/>%s</p:txBody></p:sp>'
            % (sid, name, ph, body))


def group(sid, name, box, child_box, content):
    x, y, cx, cy = box
    chx, chy, chcx, chcy = child_box
    return ('<p:grpSp><p:nvGrpSpPr><p:cNvPr id="%d" name="%s"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr>'
            '<a:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/><a:chOff x="%d" y="%d"/><a:chExt cx="%d" cy="%d"/>'
            '</a:xfrm></p:grpSpPr>%s</p:grpSp>' % (sid, name, x, y, cx, cy, chx, chy, chcx, chcy, content))


def cell(text, props, fill=''):
    r = run(text, props) if text else ''
    return ('<a:tc><a:txBody><a:bodyPr/><a:lstStyle/><a:p>%s<a:endParaRPr %s/></a:p></a:txBody><a:tcPr>%s</a:tcPr>'
            '</a:tc>' % (r, props, fill))


def table(sid, name, box, widths, rows):
    """rows: (height, fill, props, [texts])"""
    fill = '<a:solidFill><a:srgbClr val="%s"/></a:solidFill>'
    trs = ''.join('<a:tr h="%d">%s</a:tr>' % (h, ''.join(cell(t, props, fill % f if f else '') for t in texts))
                  for h, f, props, texts in rows)
    return ('<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="%d" name="%s"/><p:cNvGraphicFramePr>'
            '<a:graphicFrameLocks noGrp="1"/></p:cNvGraphicFramePr><p:nvPr/></p:nvGraphicFramePr>'
            '<p:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/></p:xfrm><a:graphic>'
            '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/table"><a:tbl>'
            '<a:tblPr firstRow="1" bandRow="1"><a:tableStyleId>{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}</a:tableStyleId>'
            '</a:tblPr><a:tblGrid>%s</a:tblGrid>%s</a:tbl></a:graphicData></a:graphic></p:graphicFrame>'
            % (sid, name, box[0], box[1], box[2], box[3], ''.join('<a:gridCol w="%d"/>' % w for w in widths), trs))


def slide(shapes):
    return (DECL + '<p:sld %s><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/>'
            '</p:nvGrpSpPr><p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/><a:chOff x="0" y="0"/>'
            '<a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>%s</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/>'
            '</p:clrMapOvr></p:sld>' % (NS, shapes))


def add_slide(tree, number, shapes, layout, rid, slide_id):
    part = 'ppt/slides/slide%d.xml' % number
    tree.write(part, slide(shapes))
    tree.relate(part, 'rId1', 'slideLayout', '../slideLayouts/slideLayout%d.xml' % layout)
    tree.content_type(part, PML + 'slide+xml')
    tree.relate('ppt/presentation.xml', rid, 'slide', 'slides/slide%d.xml' % number)
    tree.edit('ppt/presentation.xml', '</p:sldIdLst>', '<p:sldId id="%d" r:id="%s"/></p:sldIdLst>' % (slide_id, rid))
    return part


LOGO = picture(90, 'Logo', 'rId90', (8229600, 6172200, 685800, 457200))


def links():
    t = Tree('Image_Small.pptx', 'pp_links.pptx')
    for n, size in ((2, 40), (3, 50), (4, 60), (5, 70)):
        t.write('ppt/media/image%d.wmf' % n, wmf(size * 3, size * 2))
    t.content_type(extension='wmf', ctype='image/x-wmf')
    # The logos of the master, the "Title and Content" layout and the first notes page.
    for part, image in (('ppt/slideMasters/slideMaster1.xml', 2), ('ppt/slideLayouts/slideLayout2.xml', 3),
                        ('ppt/notesSlides/notesSlide1.xml', 4)):
        t.edit(part, '</p:spTree>', LOGO + '</p:spTree>')
        t.relate(part, 'rId90', 'image', '../media/image%d.wmf' % image)

    # Slide 1: a chart with user shapes, an OLE object shown by its VML preview, links.
    chart_source = os.path.join(OFFICE, 'pp_chart.pptx', 'ppt')
    chart = open(os.path.join(chart_source, 'charts', 'chart1.xml'), encoding='utf-8').read()
    t.write('ppt/charts/chart1.xml', chart.replace('</c:chartSpace>', '<c:userShapes r:id="rId2"/></c:chartSpace>'))
    shutil.copytree(os.path.join(chart_source, 'embeddings', 'Microsoft_Excel_Sheet1.xlsx'),
                    t.path('ppt/embeddings/Microsoft_Excel_Sheet1.xlsx'))
    t.relate('ppt/charts/chart1.xml', 'rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')
    t.relate('ppt/charts/chart1.xml', 'rId2', 'chartUserShapes', '../drawings/drawing1.xml')
    t.write('ppt/drawings/drawing1.xml', DECL + (
        '<c:userShapes xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" '
        'xmlns:cdr="http://schemas.openxmlformats.org/drawingml/2006/chartDrawing" '
        'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><cdr:relSizeAnchor>'
        '<cdr:from><cdr:x>0.2</cdr:x><cdr:y>0.3</cdr:y></cdr:from><cdr:to><cdr:x>0.8</cdr:x><cdr:y>0.3</cdr:y></cdr:to>'
        '<cdr:cxnSp macro=""><cdr:nvCxnSpPr><cdr:cNvPr id="2" name="Limit"/><cdr:cNvCxnSpPr/></cdr:nvCxnSpPr>'
        '<cdr:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="1000000" cy="0"/></a:xfrm><a:prstGeom prst="line">'
        '<a:avLst/></a:prstGeom><a:ln w="28575"><a:solidFill><a:srgbClr val="C00000"/></a:solidFill></a:ln>'
        '</cdr:spPr></cdr:cxnSp></cdr:relSizeAnchor></c:userShapes>'))
    t.content_type('ppt/charts/chart1.xml', 'application/vnd.openxmlformats-officedocument.drawingml.chart+xml')
    t.content_type('ppt/drawings/drawing1.xml', 'application/vnd.openxmlformats-officedocument.drawingml.chartshapes+xml')
    t.content_type(extension='xlsx', ctype='application/vnd.openxmlformats-officedocument.spreadsheetml.sheet')
    t.write('ppt/embeddings/oleObject1.bin', b'\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' + bytes(504))
    t.content_type(extension='bin', ctype='application/vnd.openxmlformats-officedocument.oleObject')
    t.content_type(extension='vml', ctype='application/vnd.openxmlformats-officedocument.vmlDrawing')
    t.write('ppt/drawings/vmlDrawing1.vml', (
        '<xml xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office" '
        'xmlns:p="urn:schemas-microsoft-com:office:powerpoint"><o:shapelayout v:ext="edit"><o:idmap v:ext="edit" '
        'data="1"/></o:shapelayout><v:shapetype id="_x0000_t75" coordsize="21600,21600" o:spt="75" '
        'o:preferrelative="t" path="m@4@5l@4@11@9@11@9@5xe" filled="f" stroked="f"><v:stroke joinstyle="miter"/>'
        '<v:path o:extrusionok="f" gradientshapeok="t" o:connecttype="rect"/><o:lock v:ext="edit" aspectratio="t"/>'
        '</v:shapetype><v:shape id="_x0000_s1026" type="#_x0000_t75" style="position:absolute;left:36pt;top:396pt;'
        'width:72pt;height:48pt"><v:imagedata o:relid="rId1" o:title=""/></v:shape></xml>'))
    t.relate('ppt/drawings/vmlDrawing1.vml', 'rId1', 'image', '../media/image5.wmf')
    ole = ('<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="11" name="Object 10"/><p:cNvGraphicFramePr>'
           '<a:graphicFrameLocks noChangeAspect="1"/></p:cNvGraphicFramePr><p:nvPr/></p:nvGraphicFramePr>'
           '<p:xfrm><a:off x="457200" y="5029200"/><a:ext cx="914400" cy="609600"/></p:xfrm><a:graphic>'
           '<a:graphicData uri="http://schemas.openxmlformats.org/presentationml/2006/ole">'
           '<p:oleObj spid="_x0000_s1026" name="Packager Shell Object" r:id="rId11" imgW="914400" imgH="609600" '
           'progId="Package"><p:embed/></p:oleObj></a:graphicData></a:graphic></p:graphicFrame>')
    chart_frame = ('<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr id="12" name="Chart 11"/><p:cNvGraphicFramePr/>'
                   '<p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off x="5486400" y="4572000"/><a:ext cx="3200400" '
                   'cy="1828800"/></p:xfrm><a:graphic><a:graphicData '
                   'uri="http://schemas.openxmlformats.org/drawingml/2006/chart"><c:chart '
                   'xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id="rId10"/></a:graphicData>'
                   '</a:graphic></p:graphicFrame>')
    links = (text_box(13, 'Link to results', ['Results'], (457200, 1143000, 2286000, 369332), 'rId12')
             + text_box(14, 'Link to tables', ['Tables'], (457200, 1600200, 2286000, 369332), 'rId13'))
    t.edit('ppt/slides/slide1.xml', '</p:spTree>', chart_frame + ole + links + '</p:spTree>')
    s1 = 'ppt/slides/slide1.xml'
    t.relate(s1, 'rId10', 'chart', '../charts/chart1.xml')
    t.relate(s1, 'rId11', 'oleObject', '../embeddings/oleObject1.bin')
    t.relate(s1, 'rId12', 'slide', 'slide2.xml')
    t.relate(s1, 'rId13', 'slide', 'slide3.xml')
    t.relate(s1, 'rId14', 'vmlDrawing', '../drawings/vmlDrawing1.vml')

    # Slide 2: generic, on the "Title and Content" layout, with notes and comments.
    s2 = add_slide(t, 2, placeholder(2, 'SIT_TITLE', 'type="title"', ['Results'])
                   + picture(3, 'SIT_PICTURE', 'rId2', ph='idx="1"')
                   + text_box(4, 'Again', ['Show again'], (457200, 6096000, 2286000, 369332), 'rId3'),
                   2, 'rId8', 257)
    t.relate(s2, 'rId2', 'image', '../media/image1.gif')
    t.relate(s2, 'rId3', 'slide', 'slide2.xml')
    notes = t.read('ppt/notesSlides/notesSlide1.xml').replace(LOGO, '')
    t.write('ppt/notesSlides/notesSlide2.xml', notes)
    t.relate('ppt/notesSlides/notesSlide2.xml', 'rId1', 'notesMaster', '../notesMasters/notesMaster1.xml')
    t.relate('ppt/notesSlides/notesSlide2.xml', 'rId2', 'slide', '../slides/slide2.xml')
    t.content_type('ppt/notesSlides/notesSlide2.xml', PML + 'notesSlide+xml')
    t.relate(s2, 'rId4', 'notesSlide', '../notesSlides/notesSlide2.xml')
    comment = ('<p:cm authorId="%d" dt="2024-03-0%dT10:00:00.000" idx="%d"><p:pos x="10" y="10"/><p:text>%s</p:text>'
               '</p:cm>')
    t.write('ppt/comments/comment1.xml', DECL + '<p:cmLst %s>%s%s</p:cmLst>' % (
        NS, comment % (0, 1, 1, 'Check the scale'), comment % (1, 2, 1, 'Agreed')))
    t.content_type('ppt/comments/comment1.xml', PML + 'comments+xml')
    t.relate(s2, 'rId5', 'comments', '../comments/comment1.xml')
    t.write('ppt/comments/comment2.xml', DECL + '<p:cmLst %s>%s</p:cmLst>' % (NS, comment % (0, 3, 3, 'Units?')))
    t.content_type('ppt/comments/comment2.xml', PML + 'comments+xml')
    t.relate(s1, 'rId15', 'comments', '../comments/comment2.xml')
    t.write('ppt/commentAuthors.xml', DECL + ('<p:cmAuthorLst %s><p:cmAuthor id="0" name="Reviewer" initials="R" '
                                              'lastIdx="3" clrIdx="0"/><p:cmAuthor id="1" name="Checker" '
                                              'initials="C" lastIdx="1" clrIdx="1"/></p:cmAuthorLst>' % NS))
    t.content_type('ppt/commentAuthors.xml', PML + 'commentAuthors+xml')
    t.relate('ppt/presentation.xml', 'rId10', 'commentAuthors', 'commentAuthors.xml')

    # Slide 3: generic for tables only.
    add_slide(t, 3, placeholder(2, 'Title 1', 'type="title"', ['Tables'])
              + table(3, 'SIT_TABLE', (457200, 1600200, 8229600, 741680), [4114800, 4114800],
                      [(370840, '', 'lang="en-US" b="1" dirty="0"', ['Name', 'Value']),
                       (370840, '', 'lang="en-US" dirty="0"', ['a', '1'])]),
              6, 'rId9', 258)
    # A modern comment (PowerPoint 365) with a reply; the slide names it in its extension list.
    p188 = 'xmlns:p188="http://schemas.microsoft.com/office/powerpoint/2018/8/main"'
    author = '{7A4B3D2C-1E0F-4A9B-8C7D-6E5F4A3B2C1D}'
    text = '<p188:txBody><a:bodyPr/><a:lstStyle/><a:p><a:r><a:rPr lang="en-US"/><a:t>%s</a:t></a:r></a:p></p188:txBody>'
    modern = 'ppt/comments/modernComment_102_1A2B3C4D.xml'
    t.write(modern, DECL + (
        '<p188:cmLst %s %s><p188:cm id="{5D6BCF0B-5E43-4BB6-A4B5-0A4D7A1B8C01}" authorId="%s" '
        'created="2024-03-04T10:00:00.000"><pc:sldMkLst xmlns:pc="http://schemas.microsoft.com/office/powerpoint/2013/'
        'main/command"><pc:docMk/><pc:sldMk cId="439041869" sldId="258"/></pc:sldMkLst><p188:replyLst><p188:reply '
        'id="{5D6BCF0B-5E43-4BB6-A4B5-0A4D7A1B8C02}" authorId="%s" created="2024-03-05T10:00:00.000">%s</p188:reply>'
        '</p188:replyLst>%s</p188:cm></p188:cmLst>' % (NS, p188, author, author, text % 'Done', text % 'Which units?')))
    t.content_type(modern, 'application/vnd.ms-powerpoint.comments+xml')
    t.relate('ppt/slides/slide3.xml', 'rId2', 'http://schemas.microsoft.com/office/2018/10/relationships/comments',
             '../comments/modernComment_102_1A2B3C4D.xml')
    t.edit('ppt/slides/slide3.xml', '</p:clrMapOvr>', '</p:clrMapOvr><p:extLst><p:ext uri="{BB962C8B-B14F-4D97-AF65-'
           'F5344CB8AC3E}"><p14:creationId xmlns:p14="http://schemas.microsoft.com/office/powerpoint/2010/main" '
           'val="439041869"/></p:ext><p:ext uri="{6950BFC3-D8DA-4A85-94F7-54DA5524770B}"><p188:commentRel %s '
           'r:id="rId2"/></p:ext></p:extLst>' % p188)
    t.write('ppt/authors.xml', DECL + ('<p188:authorLst %s %s><p188:author id="%s" name="Reviewer" initials="R" '
                                       'userId="Reviewer" providerId="None"/></p188:authorLst>' % (NS, p188, author)))
    t.content_type('ppt/authors.xml', 'application/vnd.ms-powerpoint.authors+xml')
    t.relate('ppt/presentation.xml', 'rId11', 'http://schemas.microsoft.com/office/2018/10/relationships/authors',
             'authors.xml')

    # A custom show and sections.
    t.edit('ppt/presentation.xml', '<p:defaultTextStyle>',
           '<p:custShowLst><p:custShow name="Short" id="0"><p:sldLst><p:sld r:id="rId8"/><p:sld r:id="rId2"/>'
           '<p:sld r:id="rId9"/></p:sldLst></p:custShow></p:custShowLst><p:defaultTextStyle>')
    t.edit('ppt/presentation.xml', '</p:presentation>',
           '<p:extLst><p:ext uri="{521415D9-36F7-43E2-AB2F-B90AF26B5E84}"><p14:sectionLst '
           'xmlns:p14="http://schemas.microsoft.com/office/powerpoint/2010/main"><p14:section name="Intro" '
           'id="{6E6A3F2B-1C4D-4B8E-9F10-2A3B4C5D6E01}"><p14:sldIdLst><p14:sldId id="256"/></p14:sldIdLst>'
           '</p14:section><p14:section name="Results" id="{6E6A3F2B-1C4D-4B8E-9F10-2A3B4C5D6E02}"><p14:sldIdLst>'
           '<p14:sldId id="257"/><p14:sldId id="258"/></p14:sldIdLst></p14:section></p14:sectionLst></p:ext>'
           '</p:extLst></p:presentation>')


def shapes():
    t = Tree('Image_Small.pptx', 'pp_shapes.pptx')
    # Slide 1 takes the "Picture with Caption" layout and fills its three placeholders.
    t.write('ppt/slides/slide1.xml', slide(
        placeholder(2, 'SIT1_TITLE', 'type="title"', ['Caption'])
        + picture(3, 'SIT1_PICTURE', 'rId3', ph='type="pic" idx="1"', crop='<a:srcRect l="20000" r="20000"/>')
        + placeholder(4, 'SIT1_TEXT', 'type="body" sz="half" idx="2"', ['', 'Description'])))
    t.edit('ppt/slides/_rels/slide1.xml.rels', 'slideLayout2.xml', 'slideLayout9.xml')

    header = 'lang="en-US" sz="1400" b="1" dirty="0"'
    body = 'lang="en-US" sz="1200" dirty="0"'
    grouped = group(5, 'Group 4', (457200, 1371600, 8229600, 2286000), (0, 0, 4114800, 2286000),
                    text_box(6, 'SIT2_TITLE', ['Grouped title'], (0, 0, 1828800, 369332))
                    + picture(7, 'SIT2_PICTURE', 'rId2', (0, 457200, 1828800, 1828800)))
    add_slide(t, 2, placeholder(2, 'Title 1', 'type="title"', ['Grouped shapes']) + grouped
              + table(8, 'SIT3_TABLE', (457200, 4000000, 8229600, 1100000), [4114800, 4114800],
                      [(400000, '', header, ['Name', '']),
                       (300000, 'DDEBF7', body, ['a', '1']),
                       (350000, 'FCE4D6', body, ['b', '2'])]),
              6, 'rId8', 257)
    t.relate('ppt/slides/slide2.xml', 'rId2', 'image', '../media/image1.gif')

    add_slide(t, 3, group(2, 'Group 1', (457200, 457200, 8229600, 5486400), (457200, 457200, 8229600, 5486400),
                          text_box(3, 'SIT_TITLE', ['Generic title'], (457200, 457200, 8229600, 369332))
                          + picture(4, 'SIT_PICTURE', 'rId2', (457200, 1143000, 4572000, 3429000))),
              6, 'rId9', 258)
    t.relate('ppt/slides/slide3.xml', 'rId2', 'image', '../media/image1.gif')


if __name__ == '__main__':
    links()
    shapes()
