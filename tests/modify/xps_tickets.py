#!/usr/bin/env python3
"""Oracle of the XPS ticket rewriting, by Python's zipfile and XML parser.

  xps_tickets.py show <package>          one line per print ticket: its
      part name, then copies, duplex and colour as the XML parser reads them
      in the ticket's declared encoding (or "unparsable")
  xps_tickets.py same <a> <b>            the parts of <b> whose data differs
      from <a>'s, one per line (pieces joined)
  xps_tickets.py add <in> <out>          <in> with a document ticket and a
      ticket shared by pages 1 and 2 (page 3 and later have none)
  xps_tickets.py bomb <in> <out>         <in> with a job ticket that inflates
      to 300 MiB
"""
import re
import sys
import zipfile
from xml.dom import minidom

TICKET_REL = "http://schemas.microsoft.com/xps/2005/06/printticket"
TICKET = """<?xml version="1.0" encoding="UTF-8"?>
<psf:PrintTicket xmlns:psf="http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework" xmlns:psk="http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords" version="1">
  <psf:Feature name="psk:{feature}">
    <psf:Option name="{option}" />
  </psf:Feature>
  <psf:Feature name="psk:PageOutputColor">
    <psf:Option name="psk:Color" />
  </psf:Feature>
</psf:PrintTicket>
"""


def parts(z):
    """Logical parts: pieces joined in piece order."""
    out = {}
    for name in z.namelist():
        m = re.match(r"(.*)/\[(\d+)\](\.last)?\.piece$", name)
        key, order = (m.group(1), int(m.group(2))) if m else (name, 0)
        out.setdefault(key, []).append((order, z.read(name)))
    return {k: b"".join(d for _, d in sorted(v)) for k, v in out.items()}


def feature_option(doc, feature):
    for f in doc.getElementsByTagName("psf:Feature"):
        if f.getAttribute("name") == feature:
            for o in f.getElementsByTagName("psf:Option"):
                return o.getAttribute("name")
    return "-"


def copies(doc):
    for p in doc.getElementsByTagName("psf:ParameterInit"):
        if p.getAttribute("name") == "psk:JobCopiesAllDocuments":
            return p.getElementsByTagName("psf:Value")[0].firstChild.data.strip()
    return "-"


def show(path):
    with zipfile.ZipFile(path) as z:
        for name, data in sorted(parts(z).items()):
            if b"PrintTicket" not in data and b"P\x00r\x00i\x00n\x00t\x00T" not in data:
                continue
            if name.endswith(".rels") or name.endswith("].xml"):
                continue
            try:
                doc = minidom.parseString(data)
            except Exception:
                print(name, "unparsable")
                continue
            duplex = feature_option(doc, "psk:JobDuplexAllDocumentsContiguously")
            if duplex == "-":
                duplex = feature_option(doc, "psk:DocumentDuplex")
            print(name, copies(doc), duplex, feature_option(doc, "psk:PageOutputColor"))


def same(a, b):
    with zipfile.ZipFile(a) as za, zipfile.ZipFile(b) as zb:
        pa, pb = parts(za), parts(zb)
        for name in sorted(set(pa) | set(pb)):
            if pa.get(name) != pb.get(name):
                print(name)


def add_relationship(rels, target, rid):
    rel = f'<Relationship Type="{TICKET_REL}" Target="{target}" Id="{rid}" />'
    if rels is None:
        return ('<?xml version="1.0" encoding="utf-8"?><Relationships xmlns='
                '"http://schemas.openxmlformats.org/package/2006/relationships">'
                + rel + "</Relationships>").encode()
    return rels.replace(b"</Relationships>", rel.encode() + b"</Relationships>")


def add(src, dst):
    with zipfile.ZipFile(src) as z:
        data = {n: z.read(n) for n in z.namelist()}
    fdoc = next(n for n in data if n.endswith(".fdoc"))
    folder = fdoc.rsplit("/", 1)[0]
    pages = re.findall(rb'Source="([^"]+)"', data[fdoc])
    new = dict(data)
    rels = f"{folder}/_rels/{fdoc.rsplit('/', 1)[1]}.rels"
    new[rels] = add_relationship(data.get(rels), f"/{folder}/Doc_PT.xml", "RD")
    new[f"{folder}/Doc_PT.xml"] = TICKET.format(
        feature="DocumentDuplex", option="psk:OneSided").encode()
    new[f"{folder}/Page_PT.xml"] = TICKET.format(
        feature="PageMediaType", option="psk:Plain").encode()
    for page in pages[:2]:
        page = page.decode().lstrip("/")
        if not page.startswith(folder):
            page = f"{folder}/{page}"
        directory, leaf = page.rsplit("/", 1)
        prels = f"{directory}/_rels/{leaf}.rels"
        new[prels] = add_relationship(data.get(prels), f"/{folder}/Page_PT.xml", "RP")
    with zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as z:
        for name, d in new.items():
            z.writestr(name, d)


def bomb(src, dst):
    with zipfile.ZipFile(src) as zin, zipfile.ZipFile(dst, "w", zipfile.ZIP_DEFLATED) as z:
        for name in zin.namelist():
            if name != "Metadata/Job_PT.xml":
                z.writestr(name, zin.read(name))
        with z.open("Metadata/Job_PT.xml", "w", force_zip64=True) as f:
            f.write(b'<?xml version="1.0" encoding="UTF-8"?><psf:PrintTicket>')
            block = b" " * (1 << 20)
            for _ in range(300):
                f.write(block)
            f.write(b"</psf:PrintTicket>")


if __name__ == "__main__":
    {"show": lambda: show(sys.argv[2]),
     "same": lambda: same(sys.argv[2], sys.argv[3]),
     "add": lambda: add(sys.argv[2], sys.argv[3]),
     "bomb": lambda: bomb(sys.argv[2], sys.argv[3])}[sys.argv[1]]()
