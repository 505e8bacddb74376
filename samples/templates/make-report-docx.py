#!/usr/bin/python3
"""Writes the sample Word template (samples/templates/report-docx/) as an unzipped tree.

Usage: make-report-docx.py BASE_DOCX

The template is laid out like an engineering report for the sample repository
(../data/manifest.json): a cover block with the model's field values, a summary
with the results table (snapshot 7) and the deflection chart (snapshot 6), a
"Results" group repeated per picture snapshot (title, picture, caption with
field values, description) and a "Tables" group repeated per table snapshot.
The parts Word writes besides the document (styles, settings, fonts, theme,
document properties) come from BASE_DOCX, as in tests/data/docx/make-trees.py,
whose helpers this script uses. The build zips the tree (kiv_zip_tree).
"""
import os
import sys

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
            ('rId10', 'image', 'media/image1.png'), ('rId11', 'chart', 'charts/chart1.xml')]),
        'word/media/image1.png': trees.png(6, 4, (220, 226, 236)),
        'word/charts/chart1.xml': trees.chart_part(),
        'word/charts/_rels/chart1.xml.rels': trees.rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')]),
        'word/embeddings/Microsoft_Excel_Sheet1.xlsx': trees.workbook(),
        '[Content_Types].xml': trees.content_types([trees.CHART_CT], [('png', 'image/png'), trees.XLSX_CT]),
    }
    trees.write_tree('report-docx', argv[1], files)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
