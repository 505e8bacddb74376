#!/usr/bin/python3
"""Writes the sample PowerPoint template (samples/templates/report-pptx/) as an unzipped tree.

Usage: make-report-pptx.py BASE_PPTX

The deck is laid out like an engineering report for the sample repository
(../data/manifest.json):
  slide 1  title slide: report title, the databases of the results table (snapshot 7)
  slide 2  summary: the results table (SIT7_TABLE) and the deflection chart
           (SIT6_CHART) under the title of snapshot 7
  slide 3  a generic result slide (SIT_TITLE, SIT_PICTURE, SIT_TEXT and the field
           values SIT_$CASE_NAME, SIT_$SCALAR_RESULT_NAME, SIT_$SCALAR_RESULT_MAX),
           copied once per picture snapshot
  slide 4  the 3D model of the plate (SIT4_MDLX, with its preview picture when the
           viewer plug-in is not used), its title and description
  slide 5  the peak stress and safety factor per load case (snapshot 8) as a column
           chart with a line on a second axis (SIT8_CHART, the chart of the Word
           template's make-report-docx.py), its title and description
The slide master, layouts, themes and properties come from BASE_PPTX (a deck saved
by PowerPoint, Text_100chars.pptx), through the helpers of tests/data/pptx/make-trees.py.
The build zips the tree (kiv_zip_tree).
"""
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    'pptx_trees', os.path.join(HERE, '..', '..', 'tests', 'data', 'pptx', 'make-trees.py'))
trees = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(trees)
docx = trees.docx
_spec = importlib.util.spec_from_file_location('report_docx', os.path.join(HERE, 'make-report-docx.py'))
report_docx = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(report_docx)

BLUE = '1F4E79'
PML = trees.PML


def run(text, size=None, bold=False, color=None):
    props = 'lang="en-US"%s%s dirty="0"' % (' sz="%d"' % size if size else '', ' b="1"' if bold else '')
    fill = '<a:solidFill><a:srgbClr val="%s"/></a:solidFill>' % color if color else ''
    return '<a:r><a:rPr %s>%s</a:rPr><a:t>%s</a:t></a:r>' % (props, fill, text)


def title(sid, name, text):
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr>'
            '<p:nvPr><p:ph type="title"/></p:nvPr></p:nvSpPr><p:spPr>%s</p:spPr><p:txBody><a:bodyPr>'
            '<a:normAutofit/></a:bodyPr><a:lstStyle/><a:p><a:pPr algn="l"/>%s<a:endParaRPr lang="en-US" '
            'dirty="0"/></a:p></p:txBody></p:sp>'
            % (sid, name, trees.xfrm(457200, 228600, 8229600, 685800), run(text, 2800, True, BLUE)))


def text_box(sid, name, text, x, y, cx, cy, size=1400, bold=False, color=None, algn='l'):
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
            '<p:spPr>%s<a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:noFill/></p:spPr>'
            '<p:txBody><a:bodyPr wrap="square" rtlCol="0"><a:normAutofit/></a:bodyPr><a:lstStyle/><a:p>'
            '<a:pPr algn="%s"/>%s<a:endParaRPr lang="en-US" sz="%d" dirty="0"/></a:p></p:txBody></p:sp>'
            % (sid, name, trees.xfrm(x, y, cx, cy), algn, run(text, size, bold, color), size))


def rule(sid, y):
    """A thin blue line under the slide title."""
    return ('<p:cxnSp><p:nvCxnSpPr><p:cNvPr id="%d" name="Title rule"/><p:cNvCxnSpPr/><p:nvPr/></p:nvCxnSpPr>'
            '<p:spPr>%s<a:prstGeom prst="line"><a:avLst/></a:prstGeom><a:ln w="19050"><a:solidFill>'
            '<a:srgbClr val="%s"/></a:solidFill></a:ln></p:spPr></p:cxnSp>'
            % (sid, trees.xfrm(457200, y, 8229600, 0), BLUE))


def label_value(sid, label, tag, y):
    return (text_box(sid, label, label, 5029200, y, 1600000, 320000, 1200, True, BLUE)
            + text_box(sid + 1, tag, tag[len('SIT_$'):], 6629200, y, 2057400, 320000, 1200))


def title_slide():
    band = ('<p:sp><p:nvSpPr><p:cNvPr id="2" name="Band"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr>%s'
            '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom><a:solidFill><a:srgbClr val="%s"/></a:solidFill>'
            '<a:ln><a:noFill/></a:ln></p:spPr></p:sp>' % (trees.xfrm(0, 2286000, 9144000, 1600200), BLUE))
    heading = ('<p:sp><p:nvSpPr><p:cNvPr id="3" name="Title 1"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr>'
               '<p:nvPr><p:ph type="ctrTitle"/></p:nvPr></p:nvSpPr><p:spPr>%s</p:spPr><p:txBody><a:bodyPr>'
               '<a:normAutofit/></a:bodyPr><a:lstStyle/><a:p>%s<a:endParaRPr lang="en-US" dirty="0"/></a:p>'
               '</p:txBody></p:sp>' % (trees.xfrm(457200, 2438400, 8229600, 838200),
                                        run('Structural analysis report', 3600, True, 'FFFFFF')))
    return trees.slide(
        band + heading
        + text_box(4, 'Subtitle', 'Plate with a hole and cantilever beam', 457200, 3276600, 8229600, 457200,
                   2000, False, 'DDE6F0', 'ctr')
        + text_box(5, 'Databases label', 'Result databases', 457200, 4572000, 8229600, 369332, 1400, True, BLUE,
                   'ctr')
        + text_box(6, 'SIT7_$DATABASE_NAME', 'DATABASE_NAME', 457200, 4941332, 8229600, 369332, 1400, False,
                   None, 'ctr'))


def summary_slide():
    return trees.slide(
        title(2, 'SIT7_TITLE', 'Results at a glance') + rule(3, 914400)
        + text_box(4, 'SIT7_TEXT', 'Summary of the results', 457200, 1000000, 8229600, 400000, 1400)
        + trees.table_frame(5, 'SIT7_TABLE', [1150000, 1000000, 1050000, 850000],
                            [['Load case', 'Stress', 'Displacement', 'Safety'], ['', '', '', '']], 457200, 1600000)
        + trees.chart_frame(6, 'SIT6_CHART', 'rId2', 4648200, 1600000, 4038600, 3200400)
        + text_box(7, 'SIT6_TEXT', 'Chart description', 4648200, 4876800, 4038600, 640080, 1100))


def result_slide():
    return trees.slide(
        title(2, 'SIT_TITLE', 'Result title') + rule(3, 914400)
        + trees.picture(4, 'SIT_PICTURE', 'rId2', 457200, 1143000, 4343400, 3257550, 'Result picture')
        + label_value(5, 'Load case', 'SIT_$CASE_NAME', 1143000)
        + label_value(7, 'Result', 'SIT_$SCALAR_RESULT_NAME', 1508760)
        + label_value(9, 'Maximum', 'SIT_$SCALAR_RESULT_MAX', 1874520)
        + label_value(11, 'Minimum', 'SIT_$SCALAR_RESULT_MIN', 2240280)
        + text_box(13, 'SIT_TEXT', 'Result description', 457200, 4572000, 8229600, 1371600, 1400))


def model_slide():
    return trees.slide(
        title(2, 'SIT4_TITLE', '3D model') + rule(3, 914400)
        + text_box(4, 'SIT4_TEXT', 'Model description', 457200, 5410200, 8229600, 685800, 1400),
        trees.control('SIT4_MDLX', '_x0000_s1025', 'rId2', 'rId3', 5)
        .replace(trees.xfrm(4800000, 3600000, 3300000, 1700000), trees.xfrm(1371600, 1143000, 6400800, 4114800))
        .replace('imgW="3300000" imgH="1700000"', 'imgW="6400800" imgH="4114800"'))


def load_case_slide():
    return trees.slide(
        title(2, 'SIT8_TITLE', 'Load cases compared') + rule(3, 914400)
        + trees.chart_frame(4, 'SIT8_CHART', 'rId2', 457200, 1143000, 8229600, 4114800)
        + text_box(5, 'SIT8_TEXT', 'Chart description', 457200, 5334000, 8229600, 685800, 1400))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    files = {
        'ppt/slides/slide1.xml': title_slide(),
        'ppt/slides/_rels/slide1.xml.rels': docx.rels([('rId1', 'slideLayout', '../slideLayouts/slideLayout1.xml')]),
        'ppt/slides/slide2.xml': summary_slide(),
        'ppt/slides/_rels/slide2.xml.rels': docx.rels([
            ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'), ('rId2', 'chart', '../charts/chart1.xml')]),
        'ppt/charts/chart1.xml': docx.chart_part(),
        'ppt/charts/_rels/chart1.xml.rels': docx.rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet1.xlsx')]),
        'ppt/embeddings/Microsoft_Excel_Sheet1.xlsx': docx.workbook(),
        'ppt/slides/slide3.xml': result_slide(),
        'ppt/slides/_rels/slide3.xml.rels': docx.rels([
            ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'), ('rId2', 'image', '../media/image1.png')]),
        'ppt/media/image1.png': docx.png(8, 6, (220, 226, 236)),
        'ppt/slides/slide4.xml': model_slide(),
        'ppt/slides/_rels/slide4.xml.rels': docx.rels([
            ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'), ('rId2', 'control', '../activeX/activeX1.xml'),
            ('rId3', 'image', '../media/image2.png'), ('rId4', 'vmlDrawing', '../drawings/vmlDrawing1.vml')]),
        'ppt/media/image2.png': docx.png(10, 5, (200, 200, 200)),
        'ppt/slides/slide5.xml': load_case_slide(),
        'ppt/slides/_rels/slide5.xml.rels': docx.rels([
            ('rId1', 'slideLayout', '../slideLayouts/slideLayout6.xml'), ('rId2', 'chart', '../charts/chart2.xml')]),
        'ppt/charts/chart2.xml': report_docx.load_case_chart(),
        'ppt/charts/_rels/chart2.xml.rels': docx.rels([('rId1', 'package', '../embeddings/Microsoft_Excel_Sheet2.xlsx')]),
        'ppt/embeddings/Microsoft_Excel_Sheet2.xlsx': report_docx.load_case_workbook(),
        'ppt/activeX/activeX1.xml': docx.activex(''),
        'ppt/drawings/vmlDrawing1.vml': trees.vml_drawing('SIT4_MDLX', '_x0000_s1025', 'rId1'),
        'ppt/drawings/_rels/vmlDrawing1.vml.rels': docx.rels([('rId1', 'image', '../media/image2.png')]),
    }
    slides = [('rId%d' % (i + 2), 'slides/slide%d.xml' % (i + 1)) for i in range(5)]
    files['ppt/_rels/presentation.xml.rels'], ids = trees.presentation_rels(slides, 6)
    files['ppt/presentation.xml'] = trees.presentation([rid for rid, _ in slides], ids)
    overrides = [('/ppt/slides/slide%d.xml' % i, PML + 'slide+xml') for i in range(1, 6)]
    overrides += [('/ppt/charts/chart1.xml', docx.CHART_CT[1]), ('/ppt/charts/chart2.xml', docx.CHART_CT[1]),
                  ('/ppt/activeX/activeX1.xml', 'application/vnd.ms-office.activeX+xml')]
    files['[Content_Types].xml'] = trees.content_types(
        overrides, [('png', 'image/png'), docx.XLSX_CT, ('vml', 'application/vnd.openxmlformats-officedocument.vmlDrawing')])
    trees.write_tree(os.path.join(HERE, 'report-pptx'), argv[1], files)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
