"""Writing and reading the jxcapi documents of the demo server.

Replies are written the way the client writes its own requests: the XML
declaration, then one element per line with CR LF line ends, no indentation,
"<name/>" for an empty value. The client reads fields strictly in order, so
a reply is given as an ordered list of (name, value) pairs; a value that is a
list is a group of such pairs.
"""

import xml.etree.ElementTree as ET

DECLARATION = '<?xml version="1.0" encoding="utf-8"?>'


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def _write(out, name, value):
    if isinstance(value, list):
        if not value:
            out.append("<%s/>\r\n" % name)
            return
        out.append("<%s>\r\n" % name)
        for child_name, child_value in value:
            _write(out, child_name, child_value)
        out.append("</%s>\r\n" % name)
        return
    text = value if isinstance(value, str) else str(value)
    if text == "":
        out.append("<%s/>\r\n" % name)
    else:
        out.append("<%s>%s</%s>\r\n" % (name, escape(text), name))


def document(children, root="jxcapi"):
    out = [DECLARATION]
    _write(out, root, list(children))
    return "".join(out)


def money(value):
    return "%.2f" % value


class RequestError(Exception):
    """A request body that is not a jxcapi document."""


def parse(data):
    """Bytes or text of a request -> the jxcapi root element."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    try:
        root = ET.fromstring(data)
    except ET.ParseError as exc:
        raise RequestError("not XML: %s" % exc) from None
    if root.tag != "jxcapi":
        raise RequestError("root is %r, not jxcapi" % root.tag)
    return root


def text_of(parent, name):
    """Text of the first child called name, "" when empty, None when absent."""
    child = parent.find(name)
    if child is None:
        return None
    return child.text or ""


def to_json(element, lists=("goods", "material_info", "market")):
    """An element as plain data: a leaf is its text; a run of item children,
    or one of the named list containers, is a list; anything else is a dict
    keyed by child name (the first of a name wins, as the client's forward
    search would find it)."""
    children = list(element)
    if not children:
        if element.tag in lists:
            return []
        return element.text or ""
    if element.tag in lists or all(child.tag == "item" for child in children):
        return [to_json(child, lists) for child in children]
    result = {}
    for child in children:
        if child.tag not in result:
            result[child.tag] = to_json(child, lists)
    return result


def order_problem(where, element, expected):
    """A note when the children of element do not come in the expected order."""
    got = [child.tag for child in element]
    if got == list(expected):
        return None
    return "%s: expected %s; got %s" % (where, ", ".join(expected) or "nothing",
                                         ", ".join(got) or "nothing")
