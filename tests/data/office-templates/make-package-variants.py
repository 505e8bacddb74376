#!/usr/bin/python3
"""Makes signed, macro-enabled variants of two tagged templates, as Office
writes such packages.

Usage: make-package-variants.py DIR

DIR holds the zipped templates (the build zips them into tests/office-templates):
pp_valid.pptx and wd_sum.docx. Writes to DIR:

  pp_signed.pptm  pp_valid with the macro-enabled main content type, a VBA
                  project (ppt/vbaProject.bin, Default "bin") and a digital
                  signature (_xmlsignatures/origin.sigs, sig1.xml, the package
                  relationship of type digital-signature/origin).
  wd_signed.docm  wd_sum the same way, its VBA project with its data part
                  (word/vbaData.xml, related from the project).

The VBA project is an empty compound-file header and the signature signs
nothing: enough for a report to have to leave them out or keep them.
The zips are made with fixed entry order and time stamps.
"""
import os
import re
import sys
import zipfile

STAMP = (1980, 1, 1, 0, 0, 0)
MS_REL = 'http://schemas.microsoft.com/office/2006/relationships/'
SIG_REL = 'http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/'
SIG_CT = 'application/vnd.openxmlformats-package.digital-signature-'
MACRO_TYPES = {
    'application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml':
        'application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml',
    'application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml':
        'application/vnd.ms-word.document.macroEnabled.main+xml'}
VBA_BIN = b'\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1' + bytes(504)
SIGNATURE = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
             '<Signature xmlns="http://www.w3.org/2000/09/xmldsig#" Id="idPackageSignature"><SignedInfo>'
             '<CanonicalizationMethod Algorithm="http://www.w3.org/TR/2001/REC-xml-c14n-20010315"/>'
             '<SignatureMethod Algorithm="http://www.w3.org/2001/04/xmldsig-more#rsa-sha256"/>'
             '<Reference Type="http://www.w3.org/2000/09/xmldsig#Object" URI="#idPackageObject">'
             '<DigestMethod Algorithm="http://www.w3.org/2001/04/xmlenc#sha256"/><DigestValue>AA==</DigestValue>'
             '</Reference></SignedInfo><SignatureValue>AA==</SignatureValue></Signature>')
VBA_DATA = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            '<wne:vbaSuppData xmlns:wne="http://schemas.microsoft.com/office/word/2006/wordml"><wne:mcds>'
            '<wne:mcd wne:macroName="PROJECT.NEWMACROS.REPORT" wne:name="Project.NewMacros.Report" '
            'wne:bEncrypt="00" wne:cmg="56"/></wne:mcds></wne:vbaSuppData>')


def relationship(rid, kind, target):
    return '<Relationship Id="%s" Type="%s" Target="%s"/>' % (rid, kind, target)


def rels(*items):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n<Relationships xmlns="http://schemas.'
            'openxmlformats.org/package/2006/relationships">' + ''.join(items) + '</Relationships>')


def add_relationship(text, item):
    return text.replace('</Relationships>', item + '</Relationships>')


def variant(source, target):
    with zipfile.ZipFile(source) as z:
        parts = {n: z.read(n) for n in z.namelist()}
    main = re.search(r'Type="[^"]*/officeDocument" Target="([^"]*)"', parts['_rels/.rels'].decode()).group(1)
    root = main.split('/')[0]
    types = parts['[Content_Types].xml'].decode()
    for free, enabled in MACRO_TYPES.items():
        types = types.replace(free, enabled)
    extra = ('<Default Extension="bin" ContentType="application/vnd.ms-office.vbaProject"/>'
             '<Default Extension="sigs" ContentType="%sorigin"/>' % SIG_CT +
             '<Override PartName="/_xmlsignatures/sig1.xml" ContentType="%sxmlsignature+xml"/>' % SIG_CT)
    main_rels = '%s/_rels/%s.rels' % (root, main.split('/')[-1])
    parts[main_rels] = add_relationship(parts[main_rels].decode(),
                                        relationship('rId900', MS_REL + 'vbaProject', 'vbaProject.bin'))
    parts[root + '/vbaProject.bin'] = VBA_BIN
    if root == 'word':
        extra += '<Override PartName="/word/vbaData.xml" ContentType="application/vnd.ms-word.vbaData+xml"/>'
        parts['word/_rels/vbaProject.bin.rels'] = rels(relationship('rId1', MS_REL + 'wordVbaData', 'vbaData.xml'))
        parts['word/vbaData.xml'] = VBA_DATA
    parts['[Content_Types].xml'] = re.sub(r'(<Types [^>]*>)', lambda m: m.group(1) + extra, types, count=1)
    parts['_rels/.rels'] = add_relationship(parts['_rels/.rels'].decode(),
                                            relationship('rId900', SIG_REL + 'origin', '_xmlsignatures/origin.sigs'))
    parts['_xmlsignatures/origin.sigs'] = b''
    parts['_xmlsignatures/_rels/origin.sigs.rels'] = rels(relationship('rId1', SIG_REL + 'signature', 'sig1.xml'))
    parts['_xmlsignatures/sig1.xml'] = SIGNATURE
    names = sorted(parts, key=lambda n: (n != '[Content_Types].xml', n))
    with zipfile.ZipFile(target + '.tmp', 'w', zipfile.ZIP_DEFLATED) as z:
        for name in names:
            info = zipfile.ZipInfo(name, STAMP)
            info.compress_type = zipfile.ZIP_DEFLATED
            data = parts[name]
            z.writestr(info, data if isinstance(data, bytes) else data.encode('utf-8'))
    os.replace(target + '.tmp', target)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    variant(os.path.join(folder, 'pp_valid.pptx'), os.path.join(folder, 'pp_signed.pptm'))
    variant(os.path.join(folder, 'wd_sum.docx'), os.path.join(folder, 'wd_signed.docm'))


if __name__ == '__main__':
    main()
