#!/usr/bin/python3
"""Writes the Word test templates of tests/data/docx as unzipped package trees.

Usage: make-trees.py BASE_DOCX

BASE_DOCX is a document saved by Word 14 (680607.HelloO14.docx, MIT, from the
Open XML SDK test assets); its styles, settings, fonts, web settings, theme and
document properties are taken as they are, so that the templates carry the
parts Word writes. The document parts, charts, workbooks, pictures and viewer
controls are written here. The build zips the trees (kiv_zip_tree).

  tagged/  one content control of every tag kind outside groups: block title,
           inline text, picture control with an extent, 2- and 3-column table
           controls, a title control wrapping a table cell, a chart control with
           its workbook, macro controls and a macro in text, and a 3D-viewer
           ActiveX control (w:object with its VML preview).
  groups/  a group "Results" (title, a text holding "$(SIT_$DATABASE_NAME)",
           description, picture), a group "Charts" holding a chart control and a
           group "Tables" holding a table control, and a static title.
  forms/   what Word makes of forms: untouched runs holding only blanks (a
           number written "23 835 512,64"), trailing blanks, a field code; a
           group without a tag (Word's Group command); a group around a
           repeating section (w15) whose item holds a text and a macro control;
           a group holding bookmarks (_GoBack, one ending after the group) and
           a comment; a text box (wps, with its VML fallback) holding a block
           and an inline control; a control around a table row.
  marks/   what Word documents carry around tags: paragraph ids (w14:paraId,
           w14:textId) throughout; a title control bound to the document's
           title (w:dataBinding) showing its placeholder (PlaceholderText style);
           a title control whose only paragraph has no run (its mark's run
           properties with a tracked insertion and a w:rPrChange); picture
           controls with extents beyond the schema (cx -1, and past the largest);
           a table control whose cells hold several runs and paragraphs; a group
           holding a title control, bookmarks with REF, PAGEREF (split over two
           w:instrText) and NOTEREF fields and a link to them, a REF to a bookmark
           outside the group, a footnote and an endnote reference, and tracked
           changes (w:ins, w:del, w:rPrChange); footnotes and endnotes parts.
"""
import io
import os
import shutil
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
STAMP = (1980, 1, 1, 0, 0, 0)
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'

NS_DOC = ('xmlns:wpc="http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas" '
          'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" '
          'xmlns:o="urn:schemas-microsoft-com:office:office" '
          'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
          'xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math" '
          'xmlns:v="urn:schemas-microsoft-com:vml" '
          'xmlns:wp14="http://schemas.microsoft.com/office/word/2010/wordprocessingDrawing" '
          'xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" '
          'xmlns:w10="urn:schemas-microsoft-com:office:word" '
          'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" '
          'xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml" '
          'xmlns:wpg="http://schemas.microsoft.com/office/word/2010/wordprocessingGroup" '
          'xmlns:wpi="http://schemas.microsoft.com/office/word/2010/wordprocessingInk" '
          'xmlns:wne="http://schemas.microsoft.com/office/word/2006/wordml" '
          'xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape" '
          'mc:Ignorable="w14 wp14"')

REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
A_NS = 'http://schemas.openxmlformats.org/drawingml/2006/main'
PIC_NS = 'http://schemas.openxmlformats.org/drawingml/2006/picture'
C_NS = 'http://schemas.openxmlformats.org/drawingml/2006/chart'
PLUGIN_CLASS_ID = '{6F2B9C14-3E7A-4D58-B1C0-92A4E7D35F18}'

SECT = ('<w:sectPr><w:pgSz w:w="12240" w:h="15840"/><w:pgMar w:top="1440" w:right="1800" '
        'w:bottom="1440" w:left="1800" w:header="708" w:footer="708" w:gutter="0"/>'
        '<w:cols w:space="708"/><w:docGrid w:linePitch="360"/></w:sectPr>')


def png(width, height, rgb):
    """A small solid-colour PNG."""
    raw = b''.join(b'\x00' + bytes(rgb) * width for _ in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def para(text, ppr=''):
    return '<w:p>%s<w:r><w:t xml:space="preserve">%s</w:t></w:r></w:p>' % (ppr, text)


def sdt_pr(tag, sid, extra=''):
    return '<w:sdtPr><w:tag w:val="%s"/><w:id w:val="%d"/>%s</w:sdtPr>' % (tag, sid, extra)


def block_text(tag, sid, text, ppr='', rpr='', placeholder=True):
    extra = '<w:showingPlcHdr/>' if placeholder else ''
    return ('<w:sdt>%s<w:sdtContent><w:p>%s<w:r>%s<w:t>%s</w:t></w:r></w:p></w:sdtContent></w:sdt>'
            % (sdt_pr(tag, sid, extra), ppr, rpr, text))


def inline_text(tag, sid, text, rpr=''):
    return ('<w:sdt>%s<w:sdtContent><w:r>%s<w:t>%s</w:t></w:r></w:sdtContent></w:sdt>'
            % (sdt_pr(tag, sid), rpr, text))


def picture(tag, sid, docpr, rid, cx=3000000, cy=3000000):
    return ('<w:sdt>%s<w:sdtContent><w:p><w:r><w:rPr><w:noProof/></w:rPr><w:drawing>'
            '<wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="%d" cy="%d"/>'
            '<wp:effectExtent l="0" t="0" r="0" b="0"/><wp:docPr id="%d" name="Picture %d"/>'
            '<wp:cNvGraphicFramePr><a:graphicFrameLocks xmlns:a="%s" noChangeAspect="1"/></wp:cNvGraphicFramePr>'
            '<a:graphic xmlns:a="%s"><a:graphicData uri="%s"><pic:pic xmlns:pic="%s">'
            '<pic:nvPicPr><pic:cNvPr id="0" name="placeholder.png"/><pic:cNvPicPr/></pic:nvPicPr>'
            '<pic:blipFill><a:blip r:embed="%s"/><a:stretch><a:fillRect/></a:stretch></pic:blipFill>'
            '<pic:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="%d" cy="%d"/></a:xfrm>'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></pic:spPr></pic:pic></a:graphicData></a:graphic>'
            '</wp:inline></w:drawing></w:r></w:p></w:sdtContent></w:sdt>'
            % (sdt_pr(tag, sid, '<w:picture/>'), cx, cy, docpr, docpr, A_NS, A_NS, PIC_NS, PIC_NS, rid, cx, cy))


def chart(tag, sid, docpr, rid):
    return ('<w:sdt>%s<w:sdtContent><w:p><w:r><w:rPr><w:noProof/></w:rPr><w:drawing>'
            '<wp:inline distT="0" distB="0" distL="0" distR="0"><wp:extent cx="5486400" cy="3200400"/>'
            '<wp:effectExtent l="0" t="0" r="0" b="0"/><wp:docPr id="%d" name="Chart %d"/><wp:cNvGraphicFramePr/>'
            '<a:graphic xmlns:a="%s"><a:graphicData uri="%s"><c:chart xmlns:c="%s" r:id="%s"/>'
            '</a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p></w:sdtContent></w:sdt>'
            % (sdt_pr(tag, sid), docpr, docpr, A_NS, C_NS, C_NS, rid))


def cell(text, width, bold=False):
    rpr = '<w:rPr><w:b/></w:rPr>' if bold else ''
    return ('<w:tc><w:tcPr><w:tcW w:w="%d" w:type="dxa"/></w:tcPr><w:p><w:r>%s<w:t>%s</w:t></w:r></w:p></w:tc>'
            % (width, rpr, text))


def table(widths, rows):
    grid = ''.join('<w:gridCol w:w="%d"/>' % w for w in widths)
    body = ''
    for i, row in enumerate(rows):
        body += '<w:tr>' + ''.join(cell(t, w, bold=(i == 0)) for t, w in zip(row, widths)) + '</w:tr>'
    return ('<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/>'
            '<w:tblLook w:val="04A0" w:firstRow="1" w:lastRow="0" w:firstColumn="1" w:lastColumn="0" '
            'w:noHBand="0" w:noVBand="1"/></w:tblPr><w:tblGrid>%s</w:tblGrid>%s</w:tbl>' % (grid, body))


def table_control(tag, sid, widths, rows):
    return '<w:sdt>%s<w:sdtContent>%s</w:sdtContent></w:sdt>' % (sdt_pr(tag, sid), table(widths, rows))


def group(tag, sid, content):
    return ('<w:sdt><w:sdtPr><w:alias w:val="%s"/><w:tag w:val="%s"/><w:id w:val="%d"/><w:group/></w:sdtPr>'
            '<w:sdtContent>%s</w:sdtContent></w:sdt>' % (tag, tag, sid, content))


def viewer(name, control_rid, image_rid):
    return ('<w:p><w:r><w:object w:dxaOrig="4000" w:dyaOrig="2000">'
            '<v:shape id="_x0000_i1025" type="#_x0000_t75" style="width:200pt;height:100pt" o:ole="">'
            '<v:imagedata r:id="%s" o:title=""/></v:shape>'
            '<w:control r:id="%s" w:name="%s" w:shapeid="_x0000_i1025"/></w:object></w:r></w:p>'
            % (image_rid, control_rid, name))


def document(body, ns=NS_DOC):
    return DECL + '<w:document %s><w:body>%s%s</w:body></w:document>' % (ns, body, SECT)


def rels(items):
    out = DECL + '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    for rid, kind, target in items:
        rtype = kind if kind.startswith('http') else REL + kind
        out += '<Relationship Id="%s" Type="%s" Target="%s"/>' % (rid, rtype, target)
    return out + '</Relationships>'


def chart_part(workbook_rid='rId1'):
    def num_cache(ref, values):
        pts = ''.join('<c:pt idx="%d"><c:v>%s</c:v></c:pt>' % (i, v) for i, v in enumerate(values))
        return ('<c:numRef><c:f>%s</c:f><c:numCache><c:formatCode>General</c:formatCode>'
                '<c:ptCount val="%d"/>%s</c:numCache></c:numRef>' % (ref, len(values), pts))
    ser = ('<c:ser><c:idx val="0"/><c:order val="0"/><c:tx><c:strRef><c:f>Sheet1!$B$1</c:f><c:strCache>'
           '<c:ptCount val="1"/><c:pt idx="0"><c:v>Pressure</c:v></c:pt></c:strCache></c:strRef></c:tx>'
           '<c:marker><c:symbol val="none"/></c:marker><c:xVal>%s</c:xVal><c:yVal>%s</c:yVal>'
           '<c:smooth val="0"/></c:ser>'
           % (num_cache('Sheet1!$A$2:$A$4', ['1', '2', '3']), num_cache('Sheet1!$B$2:$B$4', ['10', '20', '15'])))
    return (DECL + '<c:chartSpace xmlns:c="%s" xmlns:a="%s" xmlns:r="%s">'
            '<c:lang val="en-US"/><c:chart><c:title><c:tx><c:rich><a:bodyPr/><a:lstStyle/><a:p><a:r>'
            '<a:rPr lang="en-US"/><a:t>Chart title</a:t></a:r></a:p></c:rich></c:tx><c:overlay val="0"/></c:title>'
            '<c:autoTitleDeleted val="0"/><c:plotArea><c:layout/>'
            '<c:scatterChart><c:scatterStyle val="lineMarker"/><c:varyColors val="0"/>%s'
            '<c:axId val="100001"/><c:axId val="100002"/></c:scatterChart>'
            '<c:valAx><c:axId val="100001"/><c:scaling><c:orientation val="minMax"/></c:scaling>'
            '<c:delete val="0"/><c:axPos val="b"/><c:numFmt formatCode="General" sourceLinked="1"/>'
            '<c:tickLblPos val="nextTo"/><c:crossAx val="100002"/><c:crosses val="autoZero"/>'
            '<c:crossBetween val="midCat"/></c:valAx>'
            '<c:valAx><c:axId val="100002"/><c:scaling><c:orientation val="minMax"/></c:scaling>'
            '<c:delete val="0"/><c:axPos val="l"/><c:majorGridlines/><c:numFmt formatCode="General" sourceLinked="1"/>'
            '<c:tickLblPos val="nextTo"/><c:crossAx val="100001"/><c:crosses val="autoZero"/>'
            '<c:crossBetween val="midCat"/></c:valAx></c:plotArea><c:legend><c:legendPos val="r"/>'
            '<c:overlay val="0"/></c:legend><c:plotVisOnly val="1"/><c:dispBlanksAs val="gap"/></c:chart>'
            '<c:externalData r:id="%s"><c:autoUpdate val="0"/></c:externalData></c:chartSpace>'
            % (C_NS, A_NS, REL[:-len('relationships/')] + 'relationships', ser, workbook_rid))


def deterministic_zip(entries):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, 'w', zipfile.ZIP_DEFLATED) as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, data)
    return buf.getvalue()


def workbook():
    S = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
    ct = (DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
          '<Default Extension="xml" ContentType="application/xml"/>'
          '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
          '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
          '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
          '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
          '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
          '<Override PartName="/xl/tables/table1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.table+xml"/>'
          '</Types>')
    root_rels = rels([('rId1', 'officeDocument', 'xl/workbook.xml')])
    book = (DECL + '<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/>'
            '</sheets></workbook>' % (S, REL[:-1]))
    book_rels = rels([('rId1', 'worksheet', 'worksheets/sheet1.xml'), ('rId2', 'styles', 'styles.xml'),
                      ('rId3', 'sharedStrings', 'sharedStrings.xml')])
    rows = [('1', '10'), ('2', '20'), ('3', '15')]
    data = ('<row r="1" spans="1:2"><c r="A1" s="1" t="s"><v>0</v></c><c r="B1" s="1" t="s"><v>1</v></c></row>'
            + ''.join('<row r="%d" spans="1:2"><c r="A%d" s="1"><v>%s</v></c><c r="B%d" s="1"><v>%s</v></c></row>'
                      % (i + 2, i + 2, x, i + 2, y) for i, (x, y) in enumerate(rows)))
    sheet = (DECL + '<worksheet xmlns="%s" xmlns:r="%s"><dimension ref="A1:B4"/><sheetData>%s</sheetData>'
             '<tableParts count="1"><tablePart r:id="rId1"/></tableParts></worksheet>' % (S, REL[:-1], data))
    sheet_rels = rels([('rId1', 'table', '../tables/table1.xml')])
    styles = (DECL + '<styleSheet xmlns="%s"><fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
              '<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills>'
              '<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
              '<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
              '<xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>'
              '<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>' % S)
    strings = (DECL + '<sst xmlns="%s" count="2" uniqueCount="2"><si><t>Time</t></si><si><t>Pressure</t></si></sst>' % S)
    tbl = (DECL + '<table xmlns="%s" id="1" name="Table1" displayName="Table1" ref="A1:B4" totalsRowShown="0">'
           '<tableColumns count="2"><tableColumn id="1" name="Time"/><tableColumn id="2" name="Pressure"/>'
           '</tableColumns><tableStyleInfo name="TableStyleMedium9" showFirstColumn="0" showLastColumn="0" '
           'showRowStripes="1" showColumnStripes="0"/></table>' % S)
    return deterministic_zip([('[Content_Types].xml', ct), ('_rels/.rels', root_rels), ('xl/workbook.xml', book),
                              ('xl/_rels/workbook.xml.rels', book_rels), ('xl/worksheets/sheet1.xml', sheet),
                              ('xl/worksheets/_rels/sheet1.xml.rels', sheet_rels), ('xl/styles.xml', styles),
                              ('xl/sharedStrings.xml', strings), ('xl/tables/table1.xml', tbl)])


def activex(file_url):
    return (DECL + '<ax:ocx ax:classid="%s" ax:persistence="persistPropertyBag" '
            'xmlns:ax="http://schemas.microsoft.com/office/2006/activeX" xmlns:r="%s">'
            '<ax:ocxPr ax:name="_ExtentX" ax:value="7056"/><ax:ocxPr ax:name="_ExtentY" ax:value="3528"/>'
            '<ax:ocxPr ax:name="FileURL" ax:value="%s"/><ax:ocxPr ax:name="Toolbar" ax:value="1"/></ax:ocx>'
            % (PLUGIN_CLASS_ID, REL[:-1], file_url))


def content_types(overrides, defaults=()):
    out = (DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
           '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
           '<Default Extension="xml" ContentType="application/xml"/>')
    for ext, ctype in defaults:
        out += '<Default Extension="%s" ContentType="%s"/>' % (ext, ctype)
    base = [('/word/document.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml'),
            ('/word/styles.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml'),
            ('/word/settings.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml'),
            ('/word/webSettings.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.webSettings+xml'),
            ('/word/fontTable.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.fontTable+xml'),
            ('/word/theme/theme1.xml', 'application/vnd.openxmlformats-officedocument.theme+xml'),
            ('/docProps/core.xml', 'application/vnd.openxmlformats-package.core-properties+xml'),
            ('/docProps/app.xml', 'application/vnd.openxmlformats-officedocument.extended-properties+xml')]
    for name, ctype in base + list(overrides):
        out += '<Override PartName="%s" ContentType="%s"/>' % (name, ctype)
    return out + '</Types>'


BASE_RELS = [('rId1', 'styles', 'styles.xml'), ('rId2', 'settings', 'settings.xml'),
             ('rId3', 'webSettings', 'webSettings.xml'), ('rId4', 'fontTable', 'fontTable.xml'),
             ('rId5', 'theme', 'theme/theme1.xml')]
CHART_CT = ('/word/charts/chart1.xml', 'application/vnd.openxmlformats-officedocument.drawingml.chart+xml')
XLSX_CT = ('xlsx', 'application/vnd.openxmlformats-officedocument.spreadsheetml.sheet')


def write_tree(name, base, files):
    root = os.path.join(HERE, name)
    if os.path.isdir(root):
        shutil.rmtree(root)
    with zipfile.ZipFile(base) as z:
        for part in ('word/styles.xml', 'word/settings.xml', 'word/webSettings.xml', 'word/fontTable.xml',
                     'word/theme/theme1.xml', 'docProps/core.xml', 'docProps/app.xml', '_rels/.rels'):
            files.setdefault(part, z.read(part))
    for part, data in files.items():
        path = os.path.join(root, part)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data if isinstance(data, bytes) else data.encode('utf-8'))


def tagged(base):
    body = (para('Tagged template')
            + block_text('SIT1_TITLE', 101, 'Title', ppr='<w:pPr><w:jc w:val="center"/></w:pPr>',
                         rpr='<w:rPr><w:i/><w:color w:val="1F497D"/></w:rPr>')
            + '<w:p><w:r><w:t xml:space="preserve">Description: </w:t></w:r>'
            + inline_text('SIT1_TEXT', 102, 'text', rpr='<w:rPr><w:b/></w:rPr>') + '</w:p>'
            + picture('SIT1_PICTURE', 103, 1, 'rId10')
            + table_control('SIT1_TABLE', 104, [4000, 4000], [['Name', 'Value'], ['a', '1']])
            + table_control('SIT2_TABLE', 105, [3000, 3000, 3000], [['A', 'B', 'C'], ['1', '2', '3']])
            + '<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/></w:tblPr>'
              '<w:tblGrid><w:gridCol w:w="4000"/><w:gridCol w:w="4000"/></w:tblGrid><w:tr>'
            + '<w:sdt>%s<w:sdtContent>%s</w:sdtContent></w:sdt>' % (sdt_pr('SIT2_TITLE', 106), cell('Cell title', 4000))
            + cell('Beside', 4000) + '</w:tr></w:tbl>'
            + chart('SIT1_CHART', 107, 2, 'rId11')
            + '<w:p><w:r><w:t xml:space="preserve">Database: </w:t></w:r>'
            + inline_text('SIT1_$DATABASE_NAME', 108, 'name') + '</w:p>'
            + block_text('REF_SIT1_$Pressure', 109, 'pressure', placeholder=False)
            + para('Model: $(SIT1_$DATABASE_NAME)')
            + viewer('SIT1_MDLX', 'rId12', 'rId13'))
    files = {
        'word/document.xml': document(body),
        'word/_rels/document.xml.rels': rels(BASE_RELS + [
            ('rId10', 'image', 'media/image1.png'), ('rId11', 'chart', 'charts/chart1.xml'),
            ('rId12', 'control', 'activeX/activeX1.xml'), ('rId13', 'image', 'media/image2.png')]),
        'word/media/image1.png': png(4, 4, (200, 200, 200)),
        'word/media/image2.png': png(8, 4, (40, 80, 160)),
        'word/charts/chart1.xml': chart_part(),
        'word/charts/_rels/chart1.xml.rels': rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')]),
        'word/embeddings/Microsoft_Excel_Sheet1.xlsx': workbook(),
        'word/activeX/activeX1.xml': activex('model.mdlx'),
        '[Content_Types].xml': content_types(
            [CHART_CT, ('/word/activeX/activeX1.xml', 'application/vnd.ms-office.activeX+xml')],
            [('png', 'image/png'), XLSX_CT]),
    }
    write_tree('tagged', base, files)


def groups(base):
    results = (block_text('SIT_TITLE', 201, 'Title', rpr='<w:rPr><w:b/></w:rPr>')
               + para('Model: $(SIT_$DATABASE_NAME) beside SIT_TITLE')
               + block_text('SIT_TEXT', 202, 'Description')
               + picture('SIT_PICTURE', 203, 5, 'rId10', 2000000, 1000000))
    body = (para('Grouped template')
            + block_text('SIT1_TITLE', 101, 'Static title')
            + group('Results', 301, results)
            + group('Charts', 302, chart('SIT_CHART', 204, 6, 'rId11'))
            + group('Tables', 303, table_control('SIT_TABLE', 205, [3000, 3000, 3000], [['A', 'B', 'C'], ['1', '2', '3']]))
            + para('End'))
    files = {
        'word/document.xml': document(body),
        'word/_rels/document.xml.rels': rels(BASE_RELS + [
            ('rId10', 'image', 'media/image1.png'), ('rId11', 'chart', 'charts/chart1.xml')]),
        'word/media/image1.png': png(4, 4, (200, 200, 200)),
        'word/charts/chart1.xml': chart_part(),
        'word/charts/_rels/chart1.xml.rels': rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')]),
        'word/embeddings/Microsoft_Excel_Sheet1.xlsx': workbook(),
        '[Content_Types].xml': content_types([CHART_CT], [('png', 'image/png'), XLSX_CT]),
    }
    write_tree('groups', base, files)


def text_box(docpr, content):
    wps = 'http://schemas.microsoft.com/office/word/2010/wordprocessingShape'
    return ('<w:p><w:r><mc:AlternateContent><mc:Choice Requires="wps"><w:drawing>'
            '<wp:anchor distT="0" distB="0" distL="114300" distR="114300" simplePos="0" relativeHeight="251659264" '
            'behindDoc="0" locked="0" layoutInCell="1" allowOverlap="1"><wp:simplePos x="0" y="0"/>'
            '<wp:positionH relativeFrom="column"><wp:posOffset>0</wp:posOffset></wp:positionH>'
            '<wp:positionV relativeFrom="paragraph"><wp:posOffset>0</wp:posOffset></wp:positionV>'
            '<wp:extent cx="2743200" cy="914400"/><wp:effectExtent l="0" t="0" r="0" b="0"/>'
            '<wp:wrapSquare wrapText="bothSides"/><wp:docPr id="%d" name="Text Box %d"/><wp:cNvGraphicFramePr/>'
            '<a:graphic xmlns:a="%s"><a:graphicData uri="%s"><wps:wsp><wps:cNvSpPr txBox="1"/>'
            '<wps:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="2743200" cy="914400"/></a:xfrm>'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></wps:spPr><wps:txbx><w:txbxContent>%s</w:txbxContent>'
            '</wps:txbx><wps:bodyPr rot="0" vert="horz" wrap="square" lIns="91440" tIns="45720" rIns="91440" '
            'bIns="45720" anchor="t" anchorCtr="0"><a:noAutofit/></wps:bodyPr></wps:wsp></a:graphicData></a:graphic>'
            '</wp:anchor></w:drawing></mc:Choice><mc:Fallback><w:pict><v:shape id="Text Box %d" o:spid="_x0000_s1026" '
            'type="#_x0000_t202" style="position:absolute;margin-left:0;margin-top:0;width:3in;height:1in;'
            'z-index:251659264" filled="f" stroked="f"><v:textbox><w:txbxContent>%s</w:txbxContent></v:textbox>'
            '</v:shape></w:pict></mc:Fallback></mc:AlternateContent></w:r></w:p>'
            % (docpr, docpr, A_NS, wps, content, docpr, content))


def forms(base):
    ns = NS_DOC.replace('mc:Ignorable="w14 wp14"',
                        'xmlns:w15="http://schemas.microsoft.com/office/word/2012/wordml" mc:Ignorable="w14 w15 wp14"')
    blank = '<w:r><w:t xml:space="preserve"> </w:t></w:r>'
    item = ('<w:sdt><w:sdtPr><w:id w:val="503"/><w15:repeatingSectionItem/></w:sdtPr><w:sdtContent>'
            + block_text('SIT_TEXT', 504, 'Row text')
            + '<w:p><w:r><w:t xml:space="preserve">Database: </w:t></w:r>' + inline_text('SIT_$DATABASE_NAME', 505, 'name')
            + '</w:p></w:sdtContent></w:sdt>')
    notes = ('<w:p><w:bookmarkStart w:id="0" w:name="_GoBack"/><w:commentRangeStart w:id="0"/>'
             '<w:r><w:t xml:space="preserve">Note on </w:t></w:r>' + inline_text('SIT_TITLE', 602, 'title')
             + '<w:bookmarkEnd w:id="0"/><w:commentRangeEnd w:id="0"/><w:r><w:commentReference w:id="0"/></w:r></w:p>'
             '<w:p><w:bookmarkStart w:id="1" w:name="OLE_LINK1"/><w:r><w:t>Linked</w:t></w:r><w:bookmarkEnd w:id="1"/>'
             '<w:bookmarkStart w:id="2" w:name="Across"/><w:r><w:t>Across</w:t></w:r></w:p>')
    row = ('<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/></w:tblPr>'
           '<w:tblGrid><w:gridCol w:w="4000"/><w:gridCol w:w="4000"/></w:tblGrid>'
           '<w:sdt>%s<w:sdtContent><w:tr>%s%s</w:tr></w:sdtContent></w:sdt></w:tbl>'
           % (sdt_pr('SIT1_TITLE', 701), cell('Row title', 4000), cell('Beside', 4000)))
    body = (para('Form template')
            + '<w:p><w:r><w:t>Sum:</w:t></w:r>' + blank + '<w:r><w:t>23</w:t></w:r>' + blank + '<w:r><w:t>835</w:t></w:r>'
            + blank + '<w:r><w:t>512,64</w:t></w:r><w:r><w:t xml:space="preserve">  </w:t></w:r></w:p>'
            + '<w:p><w:r><w:t xml:space="preserve">Two  blanks, a trailing one </w:t></w:r></w:p>'
            + '<w:p><w:r><w:fldChar w:fldCharType="begin"/></w:r><w:r><w:instrText xml:space="preserve"> PAGE </w:instrText>'
              '</w:r><w:r><w:fldChar w:fldCharType="separate"/></w:r><w:r><w:t>1</w:t></w:r>'
              '<w:r><w:fldChar w:fldCharType="end"/></w:r></w:p>'
            + '<w:sdt><w:sdtPr><w:id w:val="401"/><w:group/></w:sdtPr><w:sdtContent>'
            + block_text('SIT_TITLE', 402, 'Title') + picture('SIT_PICTURE', 403, 11, 'rId10', 2000000, 1000000)
            + '</w:sdtContent></w:sdt>'
            + group('Rows', 501, '<w:sdt><w:sdtPr><w:id w:val="502"/><w15:repeatingSection/></w:sdtPr><w:sdtContent>'
                    + item + '</w:sdtContent></w:sdt>')
            + group('Notes', 601, notes)
            + '<w:p><w:r><w:t>After</w:t></w:r><w:bookmarkEnd w:id="2"/></w:p>'
            + text_box(21, block_text('SIT1_TEXT', 801, 'Box text')
                       + '<w:p><w:r><w:t xml:space="preserve">Box title: </w:t></w:r>' + inline_text('SIT1_TITLE', 802, 'title')
                       + '</w:p>')
            + row)
    comments = (DECL + '<w:comments xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">'
                '<w:comment w:id="0" w:author="Reviewer" w:date="2024-01-01T00:00:00Z" w:initials="R">'
                '<w:p><w:r><w:t>Check the title</w:t></w:r></w:p></w:comment></w:comments>')
    files = {
        'word/document.xml': document(body, ns),
        'word/_rels/document.xml.rels': rels(BASE_RELS + [
            ('rId10', 'image', 'media/image1.png'), ('rId11', 'comments', 'comments.xml')]),
        'word/media/image1.png': png(4, 4, (200, 200, 200)),
        'word/comments.xml': comments,
        '[Content_Types].xml': content_types(
            [('/word/comments.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.comments+xml')],
            [('png', 'image/png')]),
    }
    write_tree('forms', base, files)


def marks(base):
    ns = NS_DOC.replace('mc:Ignorable="w14 wp14"',
                        'xmlns:w15="http://schemas.microsoft.com/office/word/2012/wordml" mc:Ignorable="w14 w15 wp14"')
    ids = iter(range(0x10000001, 0x10000100))

    def p(content, ppr=''):
        return '<w:p w14:paraId="%08X" w14:textId="77777777">%s%s</w:p>' % (next(ids), ppr, content)

    def run(text, rpr=''):
        return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (rpr, text)

    def field(instructions, shown):
        parts = ''.join('<w:r><w:instrText xml:space="preserve">%s</w:instrText></w:r>' % i for i in instructions)
        return ('<w:r><w:fldChar w:fldCharType="begin"/></w:r>%s<w:r><w:fldChar w:fldCharType="separate"/></w:r>%s'
                '<w:r><w:fldChar w:fldCharType="end"/></w:r>' % (parts, run(shown)))

    by = 'w:author="Reviewer" w:date="2024-01-01T00:00:00Z"'
    bound = ('<w:sdt><w:sdtPr><w:alias w:val="Title"/><w:tag w:val="SIT1_TITLE"/><w:id w:val="901"/>'
             '<w:placeholder><w:docPart w:val="DefaultPlaceholder_1081868574"/></w:placeholder><w:showingPlcHdr/>'
             '<w:dataBinding w:prefixMappings="xmlns:ns0=\'http://purl.org/dc/elements/1.1/\' '
             'xmlns:ns1=\'http://schemas.openxmlformats.org/package/2006/metadata/core-properties\' " '
             'w:xpath="/ns1:coreProperties[1]/ns0:title[1]" w:storeItemID="{6C3C8BC8-F283-45AE-878A-BAB7291924A1}"/>'
             '<w:text/></w:sdtPr><w:sdtContent>'
             + p(run('[Title]', '<w:rPr><w:rStyle w:val="PlaceholderText"/><w:b/></w:rPr>')) + '</w:sdtContent></w:sdt>')
    unrun = ('<w:sdt>%s<w:sdtContent>%s</w:sdtContent></w:sdt>'
             % (sdt_pr('SIT2_TITLE', 902), p('', '<w:pPr><w:jc w:val="right"/><w:rPr><w:ins w:id="90" %s/>'
                                                 '<w:color w:val="C00000"/><w:sz w:val="32"/><w:rPrChange w:id="91" %s>'
                                                 '<w:rPr><w:sz w:val="24"/></w:rPr></w:rPrChange></w:rPr></w:pPr>'
                                                 % (by, by))))
    def head():
        return ('<w:tc><w:tcPr><w:tcW w:w="4000" w:type="dxa"/></w:tcPr>'
                + p(run('Quantity', '<w:rPr><w:b/></w:rPr>') + '<w:r><w:tab/><w:t>more</w:t></w:r>')
                + p(run('Multiparagraph')) + '</w:tc>')

    def data():
        return ('<w:tc><w:tcPr><w:tcW w:w="4000" w:type="dxa"/></w:tcPr>'
                + p(run('1') + run(' unit', '<w:rPr><w:i/></w:rPr>')) + p(run('Multiparagraph')) + '</w:tc>')

    def row(cells):
        return '<w:tr w14:paraId="%08X" w14:textId="77777777">%s</w:tr>' % (next(ids), cells)
    multi = ('<w:sdt>%s<w:sdtContent><w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/>'
             '</w:tblPr><w:tblGrid><w:gridCol w:w="4000"/><w:gridCol w:w="4000"/></w:tblGrid>%s%s</w:tbl>'
             '</w:sdtContent></w:sdt>' % (sdt_pr('SIT3_TABLE', 903), row(head() + head()), row(data() + data())))
    notes = ('<w:bookmarkStart w:id="11" w:name="_Ref101"/><w:r><w:footnoteReference w:id="1"/></w:r>'
             '<w:bookmarkEnd w:id="11"/><w:r><w:endnoteReference w:id="1"/></w:r>')
    grouped = ('<w:sdt>%s<w:sdtContent>%s</w:sdtContent></w:sdt>' % (sdt_pr('SIT_TITLE', 604), p(run('Title')))
               + p('<w:bookmarkStart w:id="10" w:name="_Ref100"/>' + run('Figure') + '<w:bookmarkEnd w:id="10"/>' + notes)
               + p(run('See ') + '<w:fldSimple w:instr=" REF _Ref100 \\h ">' + run('Figure') + '</w:fldSimple>'
                   + run(' on page ') + field([' PAGEREF _Ref', '100 \\h '], '1') + run(', note ')
                   + field([' NOTEREF _Ref101 \\h '], '1') + run(', ')
                   + '<w:fldSimple w:instr=" REF Outside \\h ">' + run('Outside') + '</w:fldSimple>'
                   + '<w:hyperlink w:anchor="_Ref100" w:history="1">' + run('back') + '</w:hyperlink>')
               + p('<w:ins w:id="20" %s>%s</w:ins><w:del w:id="21" %s><w:r><w:delText>removed</w:delText></w:r></w:del>'
                   % (by, run('inserted'), by)
                   + run('bold now', '<w:rPr><w:b/><w:rPrChange w:id="22" %s><w:rPr/></w:rPrChange></w:rPr>' % by)))
    body = (p(run('Marks template'))
            + bound + unrun
            + picture('SIT1_PICTURE', 904, 1, 'rId10', -1, 3000000)
            + picture('SIT2_PICTURE', 905, 2, 'rId10', 30000000000000, 30000000000000)
            + multi
            + group('Marks', 601, grouped)
            + p('<w:bookmarkStart w:id="30" w:name="Outside"/>' + run('Outside the group') + '<w:bookmarkEnd w:id="30"/>'))

    def note_part(kind):
        w = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" ' \
            'xmlns:w14="http://schemas.microsoft.com/office/word/2010/wordml" ' \
            'xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006" mc:Ignorable="w14"'
        separators = ''.join('<w:%s w:type="%s" w:id="%d">%s</w:%s>' % (kind, t, i, p('<w:r><w:%s/></w:r>' % t), kind)
                             for t, i in (('separator', -1), ('continuationSeparator', 0)))
        note = ('<w:%s w:id="1">%s</w:%s>'
                % (kind, p('<w:r><w:%sRef/></w:r>' % kind + run(' A note on the figure.')), kind))
        return DECL + '<w:%ss %s>%s%s</w:%ss>' % (kind, w, separators, note, kind)

    files = {
        'word/document.xml': document(body, ns),
        'word/_rels/document.xml.rels': rels(BASE_RELS + [
            ('rId10', 'image', 'media/image1.png'), ('rId11', 'footnotes', 'footnotes.xml'),
            ('rId12', 'endnotes', 'endnotes.xml')]),
        'word/media/image1.png': png(4, 4, (200, 200, 200)),
        'word/footnotes.xml': note_part('footnote'),
        'word/endnotes.xml': note_part('endnote'),
        '[Content_Types].xml': content_types(
            [('/word/footnotes.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml'),
             ('/word/endnotes.xml', 'application/vnd.openxmlformats-officedocument.wordprocessingml.endnotes+xml')],
            [('png', 'image/png')]),
    }
    write_tree('marks', base, files)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make-trees.py BASE_DOCX\n')
        return 2
    tagged(argv[1])
    groups(argv[1])
    forms(argv[1])
    marks(argv[1])
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
