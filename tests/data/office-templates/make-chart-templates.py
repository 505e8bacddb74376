#!/usr/bin/python3
"""Makes the chart templates of the reports' tests from the Office-saved files.

Usage: make-chart-templates.py SRC_DIR OUT_DIR

SRC_DIR holds the zipped sources (the build zips src/ into tests/office-templates/src):
cht-chart-type.pptx (31 charts of eight kinds, each with its workbook) and
680607.HelloO14.docx (a Word 14 document). Writes to OUT_DIR:

  pp_charts.pptx  the chart deck as it is, its chart frames named SIT1_CHART
                  (scatter and bubble charts, whose x values are numbers) and
                  SIT2_CHART (every other kind).
  wd_charts.docx  the same 31 charts with their workbooks, byte for byte, in
                  the Word document, each in a content control of the same tag,
                  in chart order.

The zips are made with fixed entry order and time stamps.
"""
import os
import re
import sys
import zipfile

STAMP = (1980, 1, 1, 0, 0, 0)
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
XY_KINDS = ('c:scatterChart', 'c:bubbleChart')


def tag_of(chart_xml):
    return 'SIT1_CHART' if any('<%s>' % k in chart_xml for k in XY_KINDS) else 'SIT2_CHART'


def write_zip(path, parts):
    names = sorted(parts, key=lambda n: (n != '[Content_Types].xml', n))
    with zipfile.ZipFile(path + '.tmp', 'w', zipfile.ZIP_DEFLATED) as z:
        for name in names:
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            data = parts[name]
            z.writestr(info, data if isinstance(data, bytes) else data.encode('utf-8'))
    os.replace(path + '.tmp', path)


def tagged_deck(deck):
    parts = {n: deck.read(n) for n in deck.namelist()}
    for name in [n for n in parts if re.match(r'ppt/slides/slide\d+\.xml$', n)]:
        rels = parts[name.replace('slides/', 'slides/_rels/') + '.rels'].decode('utf-8')
        targets = dict(re.findall(r'Id="(rId\d+)"[^>]*Target="\.\./charts/(chart\d+\.xml)"', rels))
        targets.update({i: t for t, i in re.findall(r'Target="\.\./charts/(chart\d+\.xml)"[^>]*Id="(rId\d+)"', rels)})

        def rename(frame):
            rid = re.search(r'<c:chart [^>]*r:id="(rId\d+)"', frame.group(0)).group(1)
            tag = tag_of(parts['ppt/charts/' + targets[rid]].decode('utf-8'))
            return re.sub(r'(<p:cNvPr id="\d+" name=")[^"]*"', r'\g<1>%s"' % tag, frame.group(0), count=1)
        slide = parts[name].decode('utf-8')
        parts[name] = re.sub(r'<p:graphicFrame>.*?</p:graphicFrame>', rename, slide, flags=re.S)
    return parts


def chart_control(number, tag, rid):
    return ('<w:sdt><w:sdtPr><w:tag w:val="%s"/><w:id w:val="%d"/></w:sdtPr><w:sdtContent><w:p><w:r>'
            '<w:rPr><w:noProof/></w:rPr><w:drawing><wp:inline distT="0" distB="0" distL="0" distR="0">'
            '<wp:extent cx="4572000" cy="2743200"/><wp:effectExtent l="0" t="0" r="0" b="0"/>'
            '<wp:docPr id="%d" name="Chart %d"/><wp:cNvGraphicFramePr/>'
            '<a:graphic xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">'
            '<a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart">'
            '<c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id="%s"/>'
            '</a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p></w:sdtContent></w:sdt>'
            % (tag, 1000 + number, number, number, rid))


def word_document(deck, base):
    parts = {n: base.read(n) for n in base.namelist() if n != 'word/document.xml'}
    charts = sorted((int(m.group(1)), n) for n in deck.namelist() for m in [re.match(r'ppt/charts/chart(\d+)\.xml$', n)] if m)
    body, rels, types = '', '', ''
    for number, name in charts:
        for part in (name, name.replace('charts/', 'charts/_rels/') + '.rels'):
            parts['word/' + part[4:]] = deck.read(part)
        rid = 'rId%d' % (100 + number)
        body += chart_control(number, tag_of(deck.read(name).decode('utf-8')), rid)
        rels += '<Relationship Id="%s" Type="%schart" Target="charts/chart%d.xml"/>' % (rid, REL, number)
        types += ('<Override PartName="/word/charts/chart%d.xml" ContentType="application/'
                  'vnd.openxmlformats-officedocument.drawingml.chart+xml"/>' % number)
    for name in deck.namelist():
        if name.startswith('ppt/embeddings/'):
            parts['word/' + name[4:]] = deck.read(name)
    parts['word/_rels/document.xml.rels'] = parts['word/_rels/document.xml.rels'].decode('utf-8').replace(
        '</Relationships>', rels + '</Relationships>')
    parts['[Content_Types].xml'] = parts['[Content_Types].xml'].decode('utf-8').replace(
        '</Types>', '<Default Extension="xlsx" ContentType="application/vnd.openxmlformats-officedocument.'
        'spreadsheetml.sheet"/>' + types + '</Types>')
    document = base.read('word/document.xml').decode('utf-8')
    head = document[:document.index('<w:body>') + len('<w:body>')]
    section = re.search(r'<w:sectPr.*</w:sectPr>', document, re.S).group(0)
    parts['word/document.xml'] = head + body + section + '</w:body></w:document>'
    return parts


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: make-chart-templates.py SRC_DIR OUT_DIR\n')
        return 2
    with zipfile.ZipFile(os.path.join(argv[1], 'cht-chart-type.pptx')) as deck, \
            zipfile.ZipFile(os.path.join(argv[1], '680607.HelloO14.docx')) as base:
        write_zip(os.path.join(argv[2], 'pp_charts.pptx'), tagged_deck(deck))
        write_zip(os.path.join(argv[2], 'wd_charts.docx'), word_document(deck, base))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
