#!/usr/bin/env python3
"""Writes docs/members.md, the reference of korvex_dll's 22 members, from the Doxygen XML of
include/korvex/korvex_dll.hpp (what each member does, its parameters, result and faults) and
include/korvex/korvex.h (each member's C function, found by its "Slot N").
    members_md.py XML_FOLDER OUT.md"""
import re
import sys
import xml.etree.ElementTree as ET

SKIP = {"parameterlist", "simplesect"}


def text(element):
    """The running text of a description element, code as `code`, without the nested lists."""
    out = [element.text or ""]
    for child in element:
        if child.tag not in SKIP:
            inner = text(child)
            out.append(f"`{inner}`" if child.tag == "computeroutput" else inner)
        out.append(child.tail or "")
    return re.sub(r"\s+", " ", "".join(out)).strip()


def paragraphs(member):
    parts = [text(p) for tag in ("briefdescription", "detaileddescription") for p in member.find(tag).findall("para")
             if p.text is not None or len(p)]
    return " ".join(p for p in parts if p)


def items(member, kind):
    found = []
    for plist in member.iter("parameterlist"):
        if plist.get("kind") != kind:
            continue
        for item in plist.findall("parameteritem"):
            name = " ".join(n.text for n in item.iter("parametername"))
            found.append((name, " ".join(text(p) for p in item.find("parameterdescription").findall("para"))))
    return found


def simplesect(member, kind):
    return " ".join(text(p) for s in member.iter("simplesect") if s.get("kind") == kind for p in s.findall("para"))


def functions(path):
    return [m for m in ET.parse(path).iter("memberdef") if m.get("kind") == "function"]


def slot(member):
    found = re.match(r"Slot (\d+)", paragraphs(member))
    return int(found.group(1)) if found else None


def signature(member, qualified):
    name = member.findtext("qualifiedname") if qualified else member.findtext("name")
    return f"{member.findtext('type')} {name}{member.findtext('argsstring')}".strip()


def main(xml_folder, out_path):
    cxx = {slot(m): m for m in functions(f"{xml_folder}/classkorvex__dll.xml") if slot(m)}
    c = {slot(m): m for m in functions(f"{xml_folder}/korvex_8h.xml") if slot(m)}
    missing = [n for n in range(1, 23) if n not in cxx or n not in c]
    if missing:
        sys.exit(f"members_md: no documented member for slot(s) {missing}")
    lines = ["# The 22 members of korvex_dll", "",
             "Generated from the comments of `include/korvex/korvex_dll.hpp` and `include/korvex/korvex.h` by",
             "`cmake --build build --target members_doc` (the test `members_doc_fresh` fails when this page is",
             "stale); edit the headers, not this page. Named argument values are in `korvex/member_values.h`.",
             "",
             "Every member runs on the calling thread to completion. A fault inside a member reaches a C++ host as",
             "a thrown `korvex::Fault`, a C host as an error code (`KORVEX_IS_ERROR`), a Python host as",
             "`korvex.Fault` — always with the laser gate already closed.", "",
             "| Slot | C++ | C |", "|---|---|---|"]
    for n in range(1, 23):
        name = cxx[n].findtext("name")
        kind = "get" if cxx[n].get("const") == "yes" and n <= 5 else ("set" if n <= 5 else "")
        lines.append(f"| {n} | [`{name}`{' (' + kind + ')' if kind else ''}](#slot-{n}) | `{c[n].findtext('name')}` |")
    for n in range(1, 23):
        m = cxx[n]
        description = re.sub(r"^Slot \d+\.\s*", "", paragraphs(m))
        lines += ["", f"<a id=\"slot-{n}\"></a>", f"## {n}. `{m.findtext('name')}`", "", "```cpp",
                  signature(m, True) + ";", "```", "```c", signature(c[n], False) + ";", "```", "", description]
        params = items(m, "param")
        if params:
            lines += ["", "| Parameter | Meaning, unit, range |", "|---|---|"]
            lines += ["| `%s` | %s |" % (p, d.replace("|", "\\|")) for p, d in params]
        result = simplesect(m, "return")
        if result:
            lines += ["", f"**Result:** {result}"]
        faults = items(m, "exception")
        if faults:
            lines += ["", "**Faults:** " + " ".join(d for _, d in faults)]
        c_notes = re.sub(r"^Slot \d+: \S+ for C; the member's reference says what the arguments mean\.\s*", "",
                         paragraphs(c[n]))
        lines += ["", f"**C:** {c_notes}"]
    with open(out_path, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
