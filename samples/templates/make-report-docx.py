#!/usr/bin/python3
"""Writes the sample Word template (samples/templates/report-docx/) as an unzipped tree.

Usage: make-report-docx.py BASE_DOCX

The template is laid out like an engineering report for the sample repository
(../data/manifest.json): a cover block with the model's field values, a summary
with the results table (snapshot 7), the deflection chart (snapshot 6) and the
peak stress and safety factor per load case as a column chart with a line on a
second axis (snapshot 8, load_case_chart, shared with the PowerPoint template), a
"Results" group repeated per picture snapshot (title, picture, caption with
field values, description) and a "Tables" group repeated per table snapshot.
The parts Word writes besides the document (styles, settings, fonts, theme,
document properties) come from BASE_DOCX, as in tests/data/docx/make-trees.py,
whose helpers this script uses. The build zips the tree (kiv_zip_tree).
"""
import io
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'tests', 'data', 'docx'))
trees = __import__('make-trees')

BLUE = '1F4E79'


def run(text, bold=False, size=None, color=None, italic=False):
    rpr = ''
    if bold:
        rpr += '<w:b/>'
    if italic:
        rpr += '<w:i/>'
    if color:
        rpr += '<w:color w:val="%s"/>' % color
    if size:
        rpr += '<w:sz w:val="%d"/><w:szCs w:val="%d"/>' % (size, size)
    rpr = '<w:rPr>%s</w:rPr>' % rpr if rpr else ''
    return '<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (rpr, text)


def p(content, jc=None, before=None, after=None, page_break=False, border=False):
    ppr = ''
    if page_break:
        ppr += '<w:pageBreakBefore/>'
    if border:
        ppr += '<w:pBdr><w:bottom w:val="single" w:sz="8" w:space="4" w:color="%s"/></w:pBdr>' % BLUE
    if before is not None or after is not None:
        ppr += '<w:spacing w:before="%d" w:after="%d"/>' % (before or 0, after or 0)
    if jc:
        ppr += '<w:jc w:val="%s"/>' % jc
    return '<w:p>%s%s</w:p>' % ('<w:pPr>%s</w:pPr>' % ppr if ppr else '', content)


def heading(text, page_break=False):
    return p(run(text, bold=True, size=32, color=BLUE), before=240, after=120, page_break=page_break, border=True)


def inline_macro(tag, sid, text):
    return ('<w:sdt><w:sdtPr><w:tag w:val="%s"/><w:id w:val="%d"/></w:sdtPr><w:sdtContent>%s</w:sdtContent></w:sdt>'
            % (tag, sid, run(text, bold=True)))


def block(tag, sid, content, extra=''):
    return ('<w:sdt><w:sdtPr><w:tag w:val="%s"/><w:id w:val="%d"/>%s</w:sdtPr><w:sdtContent>%s</w:sdtContent></w:sdt>'
            % (tag, sid, extra, content))


def cell(content, width, fill=None):
    shd = '<w:shd w:val="clear" w:color="auto" w:fill="%s"/>' % fill if fill else ''
    return ('<w:tc><w:tcPr><w:tcW w:w="%d" w:type="dxa"/>%s</w:tcPr>%s</w:tc>' % (width, shd, content))


def grid_table(widths, rows):
    borders = ''.join('<w:%s w:val="single" w:sz="4" w:space="0" w:color="8EAADB"/>' % side
                      for side in ('top', 'left', 'bottom', 'right', 'insideH', 'insideV'))
    out = ('<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/><w:tblBorders>%s</w:tblBorders>'
           '<w:tblLook w:val="0420" w:firstRow="1" w:lastRow="0" w:firstColumn="0" w:lastColumn="0" w:noHBand="0" '
           'w:noVBand="1"/></w:tblPr><w:tblGrid>%s</w:tblGrid>'
           % (borders, ''.join('<w:gridCol w:w="%d"/>' % w for w in widths)))
    for i, row in enumerate(rows):
        out += '<w:tr>'
        for content, width in zip(row, widths):
            if i == 0:
                out += cell(p(run(content, bold=True, color='FFFFFF')), width, BLUE)
            else:
                out += cell(p(run(content)), width)
        out += '</w:tr>'
    return out + '</w:tbl>'


# The peak stress (columns) and safety factor (a line on the right axis) per load case.
LOAD_CASES = [['Load case', 'Peak stress [MPa]', 'Safety factor'], ['Case A', '300', '1.2'], ['Case B', '30', '12']]


def load_case_chart():
    S = 'Sheet1!$%s$%d'

    def title(text, size, bold):
        return ('<c:title><c:tx><c:rich><a:bodyPr/><a:lstStyle/><a:p><a:pPr><a:defRPr sz="%d" b="%d"/></a:pPr>'
                '<a:r><a:rPr lang="en-US" sz="%d" b="%d"/><a:t>%s</a:t></a:r></a:p></c:rich></c:tx>'
                '<c:overlay val="0"/></c:title>' % (size, bold, size, bold, text))

    def ref(kind, column, values):
        f = S % (column, 2) + ':' + (S % (column, len(values) + 1)).split('!')[1]
        pts = ''.join('<c:pt idx="%d"><c:v>%s</c:v></c:pt>' % (i, v) for i, v in enumerate(values))
        fmt = '<c:formatCode>General</c:formatCode>' if kind == 'num' else ''
        return ('<c:%sRef><c:f>%s</c:f><c:%sCache>%s<c:ptCount val="%d"/>%s</c:%sCache></c:%sRef>'
                % (kind, f, kind, fmt, len(values), pts, kind, kind))

    def series(i, look, extra=''):
        column = 'BC'[i]
        return ('<c:ser><c:idx val="%d"/><c:order val="%d"/><c:tx><c:strRef><c:f>%s</c:f><c:strCache>'
                '<c:ptCount val="1"/><c:pt idx="0"><c:v>%s</c:v></c:pt></c:strCache></c:strRef></c:tx>%s'
                '<c:cat>%s</c:cat><c:val>%s</c:val>%s</c:ser>'
                % (i, i, S % (column, 1), LOAD_CASES[0][i + 1], look, ref('str', 'A', [r[0] for r in LOAD_CASES[1:]]),
                   ref('num', column, [r[i + 1] for r in LOAD_CASES[1:]]), extra))

    def axis(kind, ax, cross, pos, rest):
        return ('<c:%s><c:axId val="%d"/><c:scaling><c:orientation val="minMax"/></c:scaling>%s'
                '<c:crossAx val="%d"/>%s</c:%s>' % (kind, ax, pos, cross, rest, kind))

    ticks = '<c:majorTickMark val="out"/><c:minorTickMark val="none"/><c:tickLblPos val="nextTo"/>'
    number = '<c:numFmt formatCode="General" sourceLinked="1"/>'
    category = '<c:auto val="1"/><c:lblAlgn val="ctr"/><c:lblOffset val="100"/><c:noMultiLvlLbl val="0"/>'
    return (trees.DECL + '<c:chartSpace xmlns:c="%s" xmlns:a="%s" xmlns:r="%s"><c:lang val="en-US"/><c:chart>'
            % (trees.C_NS, trees.A_NS, trees.REL[:-1])
            + title('Chart title', 1400, 1) + '<c:autoTitleDeleted val="0"/><c:plotArea><c:layout/>'
            '<c:barChart><c:barDir val="col"/><c:grouping val="clustered"/><c:varyColors val="0"/>'
            + series(0, '<c:spPr><a:solidFill><a:srgbClr val="%s"/></a:solidFill></c:spPr><c:invertIfNegative val="0"/>'
                     % BLUE)
            + '<c:gapWidth val="80"/><c:axId val="200001"/><c:axId val="200002"/></c:barChart>'
            '<c:lineChart><c:grouping val="standard"/><c:varyColors val="0"/>'
            + series(1, '<c:spPr><a:ln w="28575"><a:solidFill><a:srgbClr val="C55A11"/></a:solidFill></a:ln></c:spPr>'
                        '<c:marker><c:symbol val="circle"/><c:size val="7"/><c:spPr><a:solidFill><a:srgbClr '
                        'val="C55A11"/></a:solidFill></c:spPr></c:marker>', '<c:smooth val="0"/>')
            + '<c:marker val="1"/><c:axId val="200003"/><c:axId val="200004"/></c:lineChart>'
            + axis('catAx', 200001, 200002, '<c:delete val="0"/><c:axPos val="b"/>' + title('Load case', 1000, 0)
                   + number + ticks, '<c:crosses val="autoZero"/>' + category)
            + axis('valAx', 200002, 200001, '<c:delete val="0"/><c:axPos val="l"/><c:majorGridlines/>'
                   + title('Peak stress [MPa]', 1000, 0) + number + ticks,
                   '<c:crosses val="autoZero"/><c:crossBetween val="between"/>')
            + axis('catAx', 200003, 200004, '<c:delete val="1"/><c:axPos val="b"/>' + number + ticks,
                   '<c:crosses val="autoZero"/>' + category)
            + axis('valAx', 200004, 200003, '<c:delete val="0"/><c:axPos val="r"/>' + title('Safety factor', 1000, 0)
                   + number + ticks, '<c:crosses val="max"/><c:crossBetween val="between"/>')
            + '</c:plotArea><c:legend><c:legendPos val="b"/><c:overlay val="0"/></c:legend><c:plotVisOnly val="1"/>'
            '<c:dispBlanksAs val="gap"/></c:chart><c:externalData r:id="rId1"><c:autoUpdate val="0"/>'
            '</c:externalData></c:chartSpace>')


def load_case_workbook():
    """The workbook of load_case_chart: its cells and table; the other parts are those of trees.workbook()."""
    S = 'http://schemas.openxmlformats.org/spreadsheetml/2006/main'
    strings = LOAD_CASES[0] + [row[0] for row in LOAD_CASES[1:]]

    def cell(r, c, v):
        if r == 0 or c == 0:
            return '<c r="%s%d" t="s"><v>%d</v></c>' % ('ABC'[c], r + 1, strings.index(v))
        return '<c r="%s%d"><v>%s</v></c>' % ('ABC'[c], r + 1, v)
    rows = ''.join('<row r="%d" spans="1:3">%s</row>' % (r + 1, ''.join(cell(r, c, v) for c, v in enumerate(row)))
                   for r, row in enumerate(LOAD_CASES))
    area = 'A1:C%d' % len(LOAD_CASES)
    parts = {
        'xl/worksheets/sheet1.xml': trees.DECL + '<worksheet xmlns="%s" xmlns:r="%s"><dimension ref="%s"/>'
        '<sheetData>%s</sheetData><tableParts count="1"><tablePart r:id="rId1"/></tableParts></worksheet>'
        % (S, trees.REL[:-1], area, rows),
        'xl/sharedStrings.xml': trees.DECL + '<sst xmlns="%s" count="%d" uniqueCount="%d">%s</sst>'
        % (S, len(strings), len(strings), ''.join('<si><t>%s</t></si>' % t for t in strings)),
        'xl/tables/table1.xml': trees.DECL + '<table xmlns="%s" id="1" name="Table1" displayName="Table1" ref="%s" '
        'totalsRowShown="0"><tableColumns count="3">%s</tableColumns><tableStyleInfo name="TableStyleMedium9" '
        'showFirstColumn="0" showLastColumn="0" showRowStripes="1" showColumnStripes="0"/></table>'
        % (S, area, ''.join('<tableColumn id="%d" name="%s"/>' % (i + 1, n) for i, n in enumerate(LOAD_CASES[0]))),
    }
    with zipfile.ZipFile(io.BytesIO(trees.workbook())) as z:
        return trees.deterministic_zip([(n, parts.get(n, z.read(n))) for n in z.namelist()])


def document():
    cover_rows = [('Model', 'SIT1_$DATABASE_NAME', 'model database'), ('Load case', 'SIT1_$CASE_NAME', 'load case')]
    cover = ('<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/><w:tblLook w:val="0000" w:firstRow="0" w:lastRow="0" '
             'w:firstColumn="0" w:lastColumn="0" w:noHBand="0" w:noVBand="0"/></w:tblPr>'
             '<w:tblGrid><w:gridCol w:w="2400"/><w:gridCol w:w="6000"/></w:tblGrid>')
    for i, (label, tag, text) in enumerate(cover_rows):
        cover += ('<w:tr>' + cell(p(run(label, color='595959')), 2400)
                  + cell(p(inline_macro(tag, 501 + i, text)), 6000) + '</w:tr>')
    cover += '</w:tbl>'
    results = (block('SIT_TITLE', 601, p(run('Result title', bold=True, size=28, color=BLUE), before=240, after=120))
               + trees.picture('SIT_PICTURE', 602, 20, 'rId10', 5486400, 3657600)
               + p(run('Figure: ', italic=True, color='595959') + inline_macro('SIT_$SCALAR_RESULT_NAME', 605, 'result')
                   + run(' on ', italic=True, color='595959') + inline_macro('SIT_$DATABASE_NAME', 606, 'model')
                   + run(', ', italic=True, color='595959') + inline_macro('SIT_$CASE_NAME', 607, 'load case')
                   + run('. Peak ', italic=True, color='595959') + inline_macro('SIT_$SCALAR_RESULT_MAX', 603, 'maximum'),
                   jc='center', after=160)
               + block('SIT_TEXT', 604, p(run('Description of the result.'), after=240)))
    tables = (block('SIT_TITLE', 701, p(run('Table title', bold=True, size=26, color=BLUE), before=240, after=120))
              + block('SIT_TABLE', 702, grid_table([3000, 3000, 3000], [['Column 1', 'Column 2', 'Column 3'],
                                                                       ['value', 'value', 'value']]))
              + p(''))
    body = (p(run('SIMULATION REPORT', bold=True, size=20, color='7F7F7F'), before=1200)
            + p(run('Structural analysis of a plate and a cantilever', bold=True, size=48, color=BLUE), after=240,
                border=True)
            + p(run('Prepared with the report component from the snapshots of the analysis session.', italic=True),
                after=360)
            + cover
            + heading('1  Summary')
            + block('SIT7_TITLE', 801, p(run('Summary title', bold=True, size=26)))
            + block('SIT7_TEXT', 802, p(run('Summary description.')))
            + block('SIT7_TABLE', 803, grid_table([3000, 2200, 2000, 1400],
                                                   [['Load case', 'Stress', 'Displacement', 'Safety'],
                                                    ['case', 'value', 'value', 'value']]))
            + p('', after=120)
            + block('SIT6_TITLE', 804, p(run('Chart title', bold=True, size=24)))
            + trees.chart('SIT6_CHART', 805, 21, 'rId11')
            + block('SIT8_TITLE', 806, p(run('Chart title', bold=True, size=24), before=240))
            + trees.chart('SIT8_CHART', 807, 22, 'rId12')
            + heading('2  Results', page_break=True)
            + trees.group('Results', 901, results)
            + heading('3  Tables', page_break=True)
            + trees.group('Tables', 902, tables))
    return trees.document(body)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write('usage: make-report-docx.py BASE_DOCX\n')
        return 2
    trees.HERE = HERE
    files = {
        'word/document.xml': document(),
        'word/_rels/document.xml.rels': trees.rels(trees.BASE_RELS + [
            ('rId10', 'image', 'media/image1.png'), ('rId11', 'chart', 'charts/chart1.xml'),
            ('rId12', 'chart', 'charts/chart2.xml')]),
        'word/media/image1.png': trees.png(6, 4, (220, 226, 236)),
        'word/charts/chart1.xml': trees.chart_part(),
        'word/charts/_rels/chart1.xml.rels': trees.rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')]),
        'word/embeddings/Microsoft_Excel_Sheet1.xlsx': trees.workbook(),
        'word/charts/chart2.xml': load_case_chart(),
        'word/charts/_rels/chart2.xml.rels': trees.rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet2.xlsx')]),
        'word/embeddings/Microsoft_Excel_Sheet2.xlsx': load_case_workbook(),
        '[Content_Types].xml': trees.content_types([trees.CHART_CT, ('/word/charts/chart2.xml', trees.CHART_CT[1])],
                                                   [('png', 'image/png'), trees.XLSX_CT]),
    }
    trees.write_tree('report-docx', argv[1], files)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
