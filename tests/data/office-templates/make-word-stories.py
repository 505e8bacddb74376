#!/usr/bin/python3
"""Writes Word templates with tags in headers, footers and notes as package trees.

Usage: make-word-stories.py

Each template starts from the tree of tests/data/office-templates/src/
680607.HelloO14.docx (kept as Word saved it) and adds parts the way Word writes
them; the trees go to tests/data/office-templates/, whose SOURCES.md lists what
each holds. The build zips them.

  wd_headers.docx  two sections. Section 1, one page: a default header
                   (SIT1_$DATABASE_NAME and an inline picture control
                   SIT2_PICTURE), a first-page header (a text box holding
                   SIT1_TITLE, as Word writes it: a DrawingML shape and its VML
                   fallback, and a floating picture control SIT2_PICTURE behind
                   the text), a first-page footer (table control SIT3_TABLE, 3
                   columns). Section 2, two pages: an even-page header (SIT1_TEXT
                   and a 3D-viewer control SIT1_MDLX), the default header of
                   section 1, a default footer (SIT1_$Pressure and a bar chart
                   control SIT3_CHART with its workbook, from
                   shp-inline-shape-access.docx). A footnote
                   (SIT1_$DATABASE_NAME) and an endnote (SIT3_TITLE). The body:
                   SIT1_TITLE, the note references and a floating picture control
                   SIT2_PICTURE anchored to its paragraph.
  wd_header_group.docx  wd_headers with the first footer's paragraph in a
                   group "Pages" holding SIT_TITLE.
"""
import os
import shutil

HERE = os.path.dirname(os.path.abspath(__file__))
SRC = os.path.join(HERE, 'src')
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
WML = 'application/vnd.openxmlformats-officedocument.wordprocessingml.'
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
A = 'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"'
PIC = 'http://schemas.openxmlformats.org/drawingml/2006/picture'


class Tree:
    def __init__(self, source, name):
        self.root = os.path.join(HERE, name)
        if os.path.isdir(self.root):
            shutil.rmtree(self.root)
        shutil.copytree(os.path.join(SRC, source), self.root)

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

    def relate(self, part, rid, kind, target):
        folder, name = part.rsplit('/', 1)
        rels = folder + '/_rels/' + name + '.rels'
        entry = '<Relationship Id="%s" Type="%s" Target="%s"/>' % (rid, REL + kind, target)
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

    def story(self, part, root, content, rid, kind, ctype):
        """A header, footer or notes part related from the document."""
        self.write(part, DECL + '<%s %s>%s</%s>' % (root, self.namespaces, content, root))
        self.relate('word/document.xml', rid, kind, part.split('/', 1)[1])
        self.content_type(part, WML + ctype)


def run(text, props=''):
    rpr = '<w:rPr>%s</w:rPr>' % props if props else ''
    return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (rpr, text)


def para(content, ppr=''):
    return '<w:p>%s%s</w:p>' % ('<w:pPr>%s</w:pPr>' % ppr if ppr else '', content)


def sdt(tag, sid, content, extra=''):
    return ('<w:sdt><w:sdtPr><w:tag w:val="%s"/><w:id w:val="%d"/>%s</w:sdtPr><w:sdtContent>%s</w:sdtContent>'
            '</w:sdt>' % (tag, sid, extra, content))


def text_control(tag, sid, text):
    """A rich-text control showing its placeholder text, as Word leaves one."""
    return sdt(tag, sid, run(text, '<w:rStyle w:val="PlaceholderText"/>'),
               '<w:placeholder><w:docPart w:val="DefaultPlaceholder_1082065158"/></w:placeholder>'
               '<w:showingPlcHdr/>')


def graphic(docpr, name, rid, cx, cy):
    return ('<wp:docPr id="%d" name="%s"/><wp:cNvGraphicFramePr><a:graphicFrameLocks %s noChangeAspect="1"/>'
            '</wp:cNvGraphicFramePr><a:graphic %s><a:graphicData uri="%s"><pic:pic xmlns:pic="%s"><pic:nvPicPr>'
            '<pic:cNvPr id="0" name="%s"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:embed="%s"/>'
            '<a:stretch><a:fillRect/></a:stretch></pic:blipFill><pic:spPr><a:xfrm><a:off x="0" y="0"/>'
            '<a:ext cx="%d" cy="%d"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom></pic:spPr></pic:pic>'
            '</a:graphicData></a:graphic>' % (docpr, name, A, A, PIC, PIC, name, rid, cx, cy))


def inline_picture(docpr, rid, cx, cy):
    return ('<w:r><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="%d" cy="%d"/>'
            '<wp:effectExtent l="0" t="0" r="0" b="0"/>%s</wp:inline></w:drawing></w:r>'
            % (cx, cy, graphic(docpr, 'Picture %d' % docpr, rid, cx, cy)))


def floating_picture(docpr, rid, cx, cy, behind, horizontal, vertical):
    """A picture in front of or behind the text, positioned as Word writes it."""
    return ('<w:r><w:drawing><wp:anchor distT="0" distB="0" distL="114300" distR="114300" simplePos="0" '
            'relativeHeight="%d" behindDoc="%d" locked="0" layoutInCell="1" allowOverlap="1"><wp:simplePos x="0" y="0"/>'
            '<wp:positionH relativeFrom="%s"><wp:align>right</wp:align></wp:positionH><wp:positionV relativeFrom="%s">'
            '<wp:posOffset>0</wp:posOffset></wp:positionV><wp:extent cx="%d" cy="%d"/>'
            '<wp:effectExtent l="0" t="0" r="0" b="0"/>%s%s</wp:anchor></w:drawing></w:r>'
            % (251658240 + docpr, behind, horizontal, vertical, cx, cy, '<wp:wrapNone/>' if behind else
               '<wp:wrapSquare wrapText="bothSides"/>', graphic(docpr, 'Picture %d' % docpr, rid, cx, cy)))


def picture_control(tag, sid, picture, block=True):
    return sdt(tag, sid, para(picture) if block else picture, '<w:picture/>')


def text_box(docpr, content):
    """A text box: the DrawingML shape and the VML fallback Word writes beside it."""
    return ('<w:r><mc:AlternateContent><mc:Choice Requires="wps"><w:drawing><wp:anchor distT="45720" distB="45720" '
            'distL="114300" distR="114300" simplePos="0" relativeHeight="251660288" behindDoc="0" locked="0" '
            'layoutInCell="1" allowOverlap="1"><wp:simplePos x="0" y="0"/><wp:positionH relativeFrom="column">'
            '<wp:posOffset>0</wp:posOffset></wp:positionH><wp:positionV relativeFrom="paragraph"><wp:posOffset>0'
            '</wp:posOffset></wp:positionV><wp:extent cx="2880000" cy="360000"/><wp:effectExtent l="0" t="0" r="0" '
            'b="0"/><wp:wrapNone/><wp:docPr id="%d" name="Text Box %d"/><wp:cNvGraphicFramePr/><a:graphic %s>'
            '<a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape"><wps:wsp>'
            '<wps:cNvSpPr txBox="1"/><wps:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="2880000" cy="360000"/></a:xfrm>'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:noFill/><a:ln w="6350"><a:solidFill><a:prstClr '
            'val="black"/></a:solidFill></a:ln></wps:spPr><wps:txbx><w:txbxContent>%s</w:txbxContent></wps:txbx>'
            '<wps:bodyPr rot="0" vert="horz" wrap="square" lIns="91440" tIns="45720" rIns="91440" bIns="45720" '
            'anchor="t" anchorCtr="0"><a:noAutofit/></wps:bodyPr></wps:wsp></a:graphicData></a:graphic></wp:anchor>'
            '</w:drawing></mc:Choice><mc:Fallback><w:pict><v:shapetype id="_x0000_t202" coordsize="21600,21600" '
            'o:spt="202" path="m,l,21600r21600,l21600,xe"><v:stroke joinstyle="miter"/><v:path gradientshapeok="t" '
            'o:connecttype="rect"/></v:shapetype><v:shape id="Text Box %d" o:spid="_x0000_s2049" type="#_x0000_t202" '
            'style="position:absolute;margin-left:0;margin-top:0;width:226.8pt;height:28.35pt;z-index:251660288;'
            'visibility:visible;mso-wrap-style:square" filled="f" strokeweight=".5pt"><v:textbox><w:txbxContent>%s'
            '</w:txbxContent></v:textbox></v:shape></w:pict></mc:Fallback></mc:AlternateContent></w:r>'
            % (docpr, docpr, A, content, docpr, content))


def viewer(name, rid, image):
    return ('<w:r><w:object w:dxaOrig="4000" w:dyaOrig="2000"><v:shape id="_x0000_i1025" type="#_x0000_t75" '
            'style="width:200pt;height:100pt" o:ole=""><v:imagedata r:id="%s" o:title=""/></v:shape><w:control '
            'r:id="%s" w:name="%s" w:shapeid="_x0000_i1025"/></w:object></w:r>' % (image, rid, name))


def table(widths, rows):
    grid = ''.join('<w:gridCol w:w="%d"/>' % w for w in widths)
    body = ''
    for r, row in enumerate(rows):
        cells = ''.join('<w:tc><w:tcPr><w:tcW w:w="%d" w:type="dxa"/></w:tcPr>%s</w:tc>'
                        % (w, para(run(t, '<w:b/>' if r == 0 else ''))) for w, t in zip(widths, row))
        body += '<w:tr>%s</w:tr>' % cells
    return ('<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/><w:tblLook w:val="04A0" '
            'w:firstRow="1" w:lastRow="0" w:firstColumn="1" w:lastColumn="0" w:noHBand="0" w:noVBand="1"/></w:tblPr>'
            '<w:tblGrid>%s</w:tblGrid>%s</w:tbl>' % (grid, body))


def note(kind, nid, content):
    ref = '<w:r><w:rPr><w:vertAlign w:val="superscript"/></w:rPr><w:%sRef/></w:r>' % kind
    return '<w:%s w:id="%d">%s</w:%s>' % (kind, nid, para(ref + content), kind)


def separators(kind):
    spacing = '<w:spacing w:after="0" w:line="240" w:lineRule="auto"/>'
    return ''.join('<w:%s w:type="%s" w:id="%d">%s</w:%s>' % (kind, t, i, para('<w:r><w:%s/></w:r>' % t, spacing), kind)
                   for i, t in ((-1, 'separator'), (0, 'continuationSeparator')))


def section(references, title_page=False):
    refs = ''.join('<w:%sReference w:type="%s" r:id="%s"/>' % r for r in references)
    return ('<w:sectPr w:rsidR="00FB09A8">%s<w:pgSz w:w="12240" w:h="15840"/><w:pgMar w:top="1440" w:right="1800" '
            'w:bottom="1440" w:left="1800" w:header="708" w:footer="708" w:gutter="0"/><w:cols w:space="708"/>%s'
            '<w:docGrid w:linePitch="360"/></w:sectPr>' % (refs, '<w:titlePg/>' if title_page else ''))


def headers(name, footer_group=False):
    t = Tree('680607.HelloO14.docx', name)
    document = t.read('word/document.xml')
    t.namespaces = document[document.index('<w:document ') + 12:document.index('><w:body>')]
    shape_source = os.path.join(SRC, 'shp-inline-shape-access.docx', 'word')
    t.write('word/media/image1.png', open(os.path.join(shape_source, 'media', 'image1.png'), 'rb').read())
    t.content_type(extension='png', ctype='image/png')

    t.story('word/header1.xml', 'w:hdr', para(run('Model: ') + text_control('SIT1_$DATABASE_NAME', 501, 'Database') +
                                               run(' ') + picture_control('SIT2_PICTURE', 502, inline_picture(
                                                   11, 'rId1', 720000, 360000), False)),
            'rId101', 'header', 'header+xml')
    t.relate('word/header1.xml', 'rId1', 'image', 'media/image1.png')
    t.story('word/header2.xml', 'w:hdr', para(text_box(12, sdt('SIT1_TITLE', 503, para(run('Report title', '<w:b/>'))))) +
            picture_control('SIT2_PICTURE', 504, floating_picture(13, 'rId1', 1440000, 720000, 1, 'margin', 'page')),
            'rId102', 'header', 'header+xml')
    t.relate('word/header2.xml', 'rId1', 'image', 'media/image1.png')
    t.story('word/header3.xml', 'w:hdr', sdt('SIT1_TEXT', 505, para(run('Description'))) +
            para(run('3D view: ') + viewer('SIT1_MDLX', 'rId2', 'rId1')), 'rId103', 'header', 'header+xml')
    t.relate('word/header3.xml', 'rId1', 'image', 'media/image1.png')
    t.relate('word/header3.xml', 'rId2', 'control', 'activeX/activeX1.xml')
    t.write('word/activeX/activeX1.xml', open(os.path.join(HERE, 'wd_mdlx.docx', 'word', 'activeX', 'activeX1.xml'),
                                              'rb').read())
    t.content_type('word/activeX/activeX1.xml', 'application/vnd.ms-office.activeX+xml')

    footer = sdt('SIT3_TABLE', 506, table([2880, 2880, 2880], [['Name', 'Value', 'Unit'], ['', '', '']]))
    if footer_group:
        footer = sdt('Pages', 520, sdt('SIT_TITLE', 521, para(run('Page title'))), '<w:group/>') + para('')
    t.story('word/footer1.xml', 'w:ftr', footer + para(''), 'rId104', 'footer', 'footer+xml')
    chart = ('<w:r><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="2625768" '
             'cy="1532873"/><wp:effectExtent l="0" t="0" r="15875" b="17145"/><wp:docPr id="14" name="Chart 14"/>'
             '<wp:cNvGraphicFramePr/><a:graphic %s><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/'
             '2006/chart"><c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id="rId1"/>'
             '</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>' % A)
    t.story('word/footer2.xml', 'w:ftr', para(run('Pressure: ') + text_control('SIT1_$Pressure', 507, 'Pressure')) +
            sdt('SIT3_CHART', 508, para(chart)), 'rId105', 'footer', 'footer+xml')
    t.relate('word/footer2.xml', 'rId1', 'chart', 'charts/chart1.xml')
    for part in ('charts/chart1.xml', 'charts/_rels/chart1.xml.rels'):
        t.write('word/' + part, open(os.path.join(shape_source, *part.split('/')), 'rb').read())
    shutil.copytree(os.path.join(shape_source, 'embeddings'), t.path('word/embeddings'))
    t.content_type('word/charts/chart1.xml', 'application/vnd.openxmlformats-officedocument.drawingml.chart+xml')
    t.content_type(extension='xlsx', ctype='application/vnd.openxmlformats-officedocument.spreadsheetml.sheet')

    t.story('word/footnotes.xml', 'w:footnotes', separators('footnote') + note('footnote', 1, run(
        ' Computed from ') + text_control('SIT1_$DATABASE_NAME', 509, 'Database') + run('.')), 'rId106', 'footnotes',
            'footnotes+xml')
    t.story('word/endnotes.xml', 'w:endnotes', separators('endnote') + note('endnote', 1, run(' ') +
            text_control('SIT3_TITLE', 510, 'Table title')), 'rId107', 'endnotes', 'endnotes+xml')
    t.edit('word/settings.xml', '<w:characterSpacingControl', '<w:evenAndOddHeaders/><w:characterSpacingControl')
    t.edit('word/settings.xml', '<w:compat>', '<w:footnotePr><w:footnote w:id="-1"/><w:footnote w:id="0"/>'
           '</w:footnotePr><w:endnotePr><w:endnote w:id="-1"/><w:endnote w:id="0"/></w:endnotePr><w:compat>')

    superscript = '<w:rPr><w:vertAlign w:val="superscript"/></w:rPr>'
    body = (para(run('Body: ') + text_control('SIT1_TITLE', 511, 'Title') +
                 '<w:r>%s<w:footnoteReference w:id="1"/></w:r><w:r>%s<w:endnoteReference w:id="1"/></w:r>'
                 % (superscript, superscript)) +
            picture_control('SIT2_PICTURE', 512, floating_picture(15, 'rId100', 2160000, 1440000, 0, 'column',
                                                                  'paragraph')) +
            para('', section([('header', 'default', 'rId101'), ('header', 'first', 'rId102'),
                              ('footer', 'first', 'rId104')], True)) +
            para(run('Second section') + '<w:r><w:br w:type="page"/></w:r>' + run('Its second page')))
    t.relate('word/document.xml', 'rId100', 'image', 'media/image1.png')
    t.edit('word/document.xml', document[document.index('<w:sectPr'):document.index('</w:body>')],
           section([('header', 'even', 'rId103'), ('header', 'default', 'rId101'), ('footer', 'default', 'rId105')]))
    t.edit('word/document.xml', '<w:sectPr', body + '<w:sectPr')


if __name__ == '__main__':
    headers('wd_headers.docx')
    headers('wd_header_group.docx', footer_group=True)
