#!/usr/bin/env python3
"""Writes the hand-made seeds of the fuzz corpora (tests/fuzz/corpus/<target>/seed-*).

decoder_fuzz entries are one mode byte (how the call is arranged, see Arrange in decoder_fuzz.cpp)
followed by the Base64 text. script_fuzz entries are programs in the encoding that script_fuzz.cpp
reads; the helpers below write its operations, so that each seed reads as what a page does.
origin_fuzz entries are the page's origin, then the policy's lines, each ended by a newline.
bridge_fuzz entries are what a browser writes to the native-messaging host: frames of JSON requests.
The other corpus files are inputs the fuzzers found and kept with -merge=1.
"""
import base64
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- decoder_fuzz ----

AS_PRINT, EXACT, ONE_SHORT, NEAR, SMALL, NO_BUFFER, NO_TEXT, NO_SLOT = range(8)

DECODER_SEEDS = {
    "abc": (AS_PRINT, b"QUJD"),
    "ab": (EXACT, b"QUI="),
    "a": (AS_PRINT, b"QQ=="),
    "abcd": (EXACT, b"QUJDRA=="),
    "leftover-bits": (AS_PRINT, b"QR=="),
    "empty": (AS_PRINT, b""),
    "three": (AS_PRINT, b"QUJ"),
    "six": (AS_PRINT, b"QUJDRA"),
    "crlf-after": (AS_PRINT, b"QUJD\r\n"),
    "crlf-inside": (AS_PRINT, b"QUJD\r\nQQ"),
    "pad-first": (AS_PRINT, b"=QUJ"),
    "pad-three": (AS_PRINT, b"Q==="),
    "pad-third-alone": (AS_PRINT, b"QU=D"),
    "pad-then-more": (AS_PRINT, b"QQ==QUJD"),
    "surplus-padding": (AS_PRINT, b"QUJD===="),
    "padding-after-whole-text": (AS_PRINT, b"QUJD="),
    "url-safe": (AS_PRINT, b"QU-_"),
    "high-byte": (AS_PRINT, b"QU\xffD"),
    "nul": (AS_PRINT, b"QU\x00D"),
    "too-small": (ONE_SHORT, b"QUJD"),
    "capacity-zero": (SMALL, b"QUJD"),
    "near": (NEAR | 15 << 3, b"QUJDRA=="),
    "no-buffer": (NO_BUFFER, b"QUJD"),
    "no-text": (NO_TEXT, b"QUJD"),
    "no-slot": (NO_SLOT, b"QUJD"),
    "all-bytes": (AS_PRINT, base64.b64encode(bytes(range(256)))),
    "all-bytes-exact": (EXACT, base64.b64encode(bytes(range(255)))),
}

# ---- script_fuzz ----

(NEW_INSTANCE, DESTROY, CALL, RAW_INVOKE, SET_PRINTERS, SPOOLER, PRINTER_LIST, INTERFACES,
 FAIL_MODULE_HEAP, FAIL_MEM_ALLOC, CODE_PAGE, CALLBACKS, HOLD_REFERENCES, POLICY) = range(14)
PRINT, GET_PRINTERS, GET_MAC_ADDRESSES, GET_VERSION, GET_LAST_ERROR, PUSH, DATA, PRINT_CAPITAL, INT_ID = range(9)
NORMAL, FAIL, THROW = range(3)
SIZE_QUERY, NAME_QUERY, OPEN, START_DOC, START_PAGE, WRITE, END_PAGE, END_DOC, CLOSE = range(9)


def u32(value):
    return struct.pack("<I", value)


def text(data):
    data = data.encode() if isinstance(data, str) else data
    assert len(data) < 256
    return bytes([len(data)]) + data


# Property values of the print argument.
def p_absent(): return bytes([0])
def p_string(data): return bytes([1]) + text(data)
def p_base64(document): return bytes([2]) + text(document)
def p_no_characters(length): return bytes([3]) + u32(length)
def p_void(): return bytes([4])
def p_null(): return bytes([5])
def p_int(value): return bytes([6]) + u32(value)
def p_object(): return bytes([9])
def p_fails(): return bytes([10])
def p_throws(): return bytes([11])
def p_known_printer(index): return bytes([12, index])
def p_plugin(slot): return bytes([13, slot])


# Call arguments.
def a_void(): return bytes([0])
def a_null(): return bytes([1])
def a_bool(value): return bytes([2, value])
def a_int(value): return bytes([3]) + u32(value)
def a_string(data): return bytes([5]) + text(data)
def a_no_characters(length): return bytes([6]) + u32(length)
def a_object(data=p_absent(), printer=p_absent(), getter=b""):
    """getter: a nested program that every property read runs first."""
    return bytes([7]) + data + printer + text(getter)
def a_plugin(slot): return bytes([9, slot])
def a_kept_object(index): return bytes([10, index])
def a_base64(document): return bytes([11]) + text(document)


def a_array(*actions):
    """actions: (behaviour, nested program) for the pushes in turn."""
    out = bytes([8, len(actions)])
    for behaviour, program in actions:
        out += bytes([behaviour]) + text(program)
    return out


def call(method, *args, slot=0):
    return bytes([CALL, slot, method, len(args)]) + b"".join(args)


def raw_invoke(method, *args, slot=0):
    return bytes([RAW_INVOKE, slot, method, len(args)]) + b"".join(args)


def printers(*names):
    return bytes([SET_PRINTERS, len(names)]) + b"".join(text(n) for n in names)


def add_printer(name): return bytes([SPOOLER, 0]) + text(name)
def default_printer(name, size_in_characters=False):
    return bytes([SPOOLER, 1]) + text(name) + bytes([1 if size_in_characters else 0])
def fail_spooler(which, error=1722, nth=1, count=1): return bytes([SPOOLER, 2, which, 0]) + u32(error) + bytes([nth - 1, count])


def written_counts(*counts):
    out = bytes([SPOOLER, 3, len(counts)])
    for count in counts:
        out += bytes([0x80]) + u32(count)
    return out


def change_printers(before_call, *names):
    return bytes([PRINTER_LIST, 0, before_call - 1, len(names)]) + b"".join(text(n) for n in names)


def fail_enum(at_call, error=None):
    return bytes([PRINTER_LIST, 1, at_call - 1]) + (bytes([1]) if error is None else bytes([0]) + u32(error))


def overstate_records(extra): return bytes([PRINTER_LIST, 2, extra])


def row(address, length=6, down=False):
    return bytes([0 if length == 6 else 0xC0 | length]) + bytes(address).ljust(8, b"\0") + bytes([1 if down else 0])


def interfaces(*rows): return bytes([INTERFACES, 0, len(rows)]) + b"".join(rows)
def change_interfaces(before_call, *rows): return bytes([INTERFACES, 1, before_call - 1, len(rows)]) + b"".join(rows)


def answer_if_table(at_call, result, size):
    flag = bytes([1]) if result == 122 else bytes([0]) + u32(result)
    return bytes([INTERFACES, 2, at_call - 1]) + flag + u32(size)


def overstate_rows(extra): return bytes([INTERFACES, 3, extra])
def fail_alloc_at(n): return bytes([FAIL_MODULE_HEAP, 0, n])
def fail_allocs_from(n): return bytes([FAIL_MODULE_HEAP, 1, n])
def fail_mem_alloc_at(n): return bytes([FAIL_MEM_ALLOC, n])
def code_page(utf8): return bytes([CODE_PAGE, 1 if utf8 else 0])
def callbacks(what, value, slot=0): return bytes([CALLBACKS, slot, what]) + u32(value)
def new_instance(): return bytes([NEW_INSTANCE])
def destroy(slot=0): return bytes([DESTROY, slot])
def hold_references(hold): return bytes([HOLD_REFERENCES, 0 if hold else 1])


# The site policy: lines by their bits in kPolicyLines (script_fuzz.cpp), and one line of any bytes;
# the origin by its index in kPolicyOrigins, or any bytes.
SHOP, TOKYO_ASCII, ANY_SHOP_SUBDOMAIN, TOKYO_UNICODE_LINE, FULL_WIDTH_STOP_LINE = (1 << i for i in range(5))
O_SHOP, O_TOKYO, O_TOKYO_ASCII, O_SHOP_SUBDOMAIN, O_HTTP_SHOP, O_TOKYO_LOOKALIKE, O_NONE = range(7)
def policy_lines(mask, any_line=None):
    return bytes([POLICY, 0, mask | (0x80 if any_line is not None else 0)]) + (text(any_line) if any_line is not None else b"")
def hardware_addresses(allowed): return bytes([POLICY, 1, 1 if allowed else 0])
def page_origin(index=None, any_origin=None):
    return bytes([POLICY, 2, 0x80]) + text(any_origin) if any_origin is not None else bytes([POLICY, 2, index])


LOOPBACK = row([0] * 6, length=0)
ETHERNET = row([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E])
BUERO_UTF8 = "Büro".encode()
BUERO_ANSI = "Büro".encode("cp1252")
SPOOLER_SETUP = default_printer("Default") + add_printer("Label") + add_printer(BUERO_ANSI) + printers("Label", BUERO_ANSI)
LABEL_UTF8 = "ラベル".encode()
ARRAY = a_array()

SCRIPT_SEEDS = {
    "print-default": SPOOLER_SETUP + call(PRINT, a_object(p_string("QUJD"))) + call(GET_LAST_ERROR),
    "print-named": SPOOLER_SETUP + call(PRINT, a_object(p_base64(b"\x1b@label\x0c"), p_string("Label"))),
    "print-national-name": SPOOLER_SETUP + call(PRINT, a_object(p_base64(b"ABC"), p_string(BUERO_UTF8))),
    "print-national-name-utf8": code_page(True) + add_printer(BUERO_UTF8) + printers(BUERO_UTF8)
    + call(PRINT, a_object(p_base64(b"ABC"), p_string(BUERO_UTF8))),
    "print-known-printer": SPOOLER_SETUP + call(PRINT, a_object(p_base64(b"doc"), p_known_printer(1))),
    "print-no-default": call(PRINT, a_object(p_string("QUJD"))) + call(GET_LAST_ERROR),
    "print-failures": SPOOLER_SETUP
    + call(PRINT) + call(PRINT, a_string("QUJD")) + call(PRINT, a_object())
    + call(PRINT, a_object(p_fails())) + call(PRINT, a_object(p_throws()))
    + call(PRINT, a_object(p_int(7))) + call(PRINT, a_object(p_null()))
    + call(PRINT, a_object(p_string("QUJD"), p_fails())) + call(PRINT, a_object(p_string("QUJD"), p_null()))
    + call(PRINT, a_object(p_string("QUJD"), p_void())) + call(PRINT, a_object(p_no_characters(8)))
    + call(PRINT, a_object(p_string(""))) + call(PRINT, a_object(p_string("QQ==QUJD")))
    + call(PRINT, a_object(p_string("QUJD"), p_no_characters(5)))
    + call(PRINT, a_object(p_string("QUJD"), p_string(b"Label\0X")))
    + call(PRINT, a_object(p_string("QUJD"), p_plugin(0))) + call(PRINT, a_plugin(0))
    + call(GET_LAST_ERROR) + call(GET_LAST_ERROR),
    "print-spooler-failures": SPOOLER_SETUP + fail_spooler(START_DOC) + fail_spooler(WRITE, nth=2)
    + fail_spooler(END_PAGE) + fail_spooler(NAME_QUERY, error=122)
    + call(PRINT, a_object(p_base64(b"one"))) + call(PRINT, a_object(p_base64(b"two")))
    + call(PRINT, a_object(p_base64(b"three"), p_string("Label"))),
    "print-partial-writes": SPOOLER_SETUP + written_counts(1, 0, 2, 0, 0, 0, 99)
    + call(PRINT, a_object(p_base64(b"partial writes"), p_string("Label")))
    + written_counts(0xFFFFFFFF) + call(PRINT, a_object(p_base64(b"overstated"), p_string("Label"))),
    "print-no-memory": SPOOLER_SETUP + fail_alloc_at(1) + call(PRINT, a_object(p_base64(b"A")))
    + fail_alloc_at(2) + call(PRINT, a_object(p_base64(b"B"), p_string(BUERO_UTF8)))
    + fail_alloc_at(3) + call(PRINT, a_object(p_base64(b"C"), p_string("Label")))
    + fail_allocs_from(1) + call(PRINT, a_object(p_base64(b"D"))),
    "print-huge-length": SPOOLER_SETUP + call(PRINT, a_object(p_no_characters(0xFFFFFFFF)))
    + call(PRINT, a_object(p_string("QUJD"), p_no_characters(0xFFFFFFFF))),
    "get-printers": printers("Label", BUERO_ANSI, "\\\\srv\\Office") + call(GET_PRINTERS, ARRAY)
    + code_page(True) + call(GET_PRINTERS, ARRAY, a_string("ignored")),
    "get-printers-failures": printers("Label", "Other") + call(GET_PRINTERS) + call(GET_PRINTERS, a_string("x"))
    + call(GET_PRINTERS, a_object()) + call(GET_PRINTERS, a_plugin(0))
    + fail_enum(1, error=5) + call(GET_PRINTERS, ARRAY)
    + change_printers(2, "Label", "Other", "Third") + call(GET_PRINTERS, ARRAY)
    + change_printers(2, "A") + change_printers(3, "AB") + change_printers(4, "ABC") + call(GET_PRINTERS, ARRAY)
    + overstate_records(2) + call(GET_PRINTERS, ARRAY)
    + overstate_records(0) + printers("", "Label") + call(GET_PRINTERS, ARRAY) + call(GET_LAST_ERROR),
    "get-printers-no-memory": printers("Label", BUERO_ANSI) + fail_alloc_at(1) + call(GET_PRINTERS, ARRAY)
    + fail_alloc_at(2) + call(GET_PRINTERS, ARRAY) + fail_alloc_at(3) + call(GET_PRINTERS, ARRAY)
    + fail_alloc_at(4) + call(GET_PRINTERS, ARRAY) + call(GET_PRINTERS, ARRAY),
    "get-mac-addresses": interfaces(LOOPBACK, ETHERNET, row([0xAB, 0x0F, 0, 1, 2, 3], down=True),
                                    row([1, 2, 3, 4, 5, 6, 7, 8], length=8))
    + call(GET_MAC_ADDRESSES, ARRAY)
    + interfaces(ETHERNET, ETHERNET, ETHERNET, ETHERNET, ETHERNET) + call(GET_MAC_ADDRESSES, ARRAY),
    "get-mac-addresses-failures": interfaces(ETHERNET) + answer_if_table(1, 50, 0) + call(GET_MAC_ADDRESSES, ARRAY)
    + answer_if_table(1, 122, 5000) + call(GET_MAC_ADDRESSES, ARRAY)
    + answer_if_table(1, 122, 100) + call(GET_MAC_ADDRESSES, ARRAY)
    + answer_if_table(1, 122, 0xFFFFFFFF) + call(GET_MAC_ADDRESSES, ARRAY)
    + overstate_rows(3) + call(GET_MAC_ADDRESSES, ARRAY) + overstate_rows(0)
    + fail_alloc_at(1) + call(GET_MAC_ADDRESSES, ARRAY) + fail_alloc_at(2) + call(GET_MAC_ADDRESSES, ARRAY)
    + change_interfaces(1, ETHERNET, ETHERNET, ETHERNET, ETHERNET) + call(GET_MAC_ADDRESSES, ARRAY)
    + call(GET_LAST_ERROR),
    "version-and-last-error": call(GET_VERSION) + call(GET_VERSION, a_int(1), a_string("x"))
    + call(GET_LAST_ERROR) + call(GET_PRINTERS) + fail_mem_alloc_at(1) + call(GET_LAST_ERROR)
    + call(GET_LAST_ERROR) + call(GET_LAST_ERROR) + fail_mem_alloc_at(1) + call(GET_VERSION),
    "other-names": call(PUSH) + call(DATA) + call(PRINT_CAPITAL) + call(INT_ID)
    + raw_invoke(PUSH, a_void()) + raw_invoke(INT_ID) + raw_invoke(GET_VERSION) + raw_invoke(PRINT, a_null()),
    "two-instances": new_instance() + call(GET_PRINTERS, slot=0) + call(GET_LAST_ERROR, slot=1)
    + call(GET_LAST_ERROR, slot=0) + call(PRINT, slot=1) + destroy(0) + call(GET_LAST_ERROR, slot=1)
    + call(GET_VERSION, slot=0) + raw_invoke(GET_VERSION, slot=0) + raw_invoke(PRINT, a_null(), slot=0),
    "new-instance-no-memory": fail_alloc_at(1) + new_instance() + call(GET_VERSION, slot=1)
    + fail_alloc_at(2) + new_instance() + call(GET_VERSION, slot=2),
    "callbacks": callbacks(0, 1) + callbacks(0, 2) + callbacks(0, 15) + callbacks(0, 14) + callbacks(1, 0)
    + callbacks(2, 4096) + callbacks(3, 0) + destroy(0) + callbacks(0, 15) + callbacks(3, 0),
    "push-fails-and-throws": printers("A", "B", "C") + call(GET_PRINTERS, a_array((FAIL, b""), (THROW, b""), (NORMAL, b"")))
    + interfaces(ETHERNET, ETHERNET) + call(GET_MAC_ADDRESSES, a_array((THROW, b""))),
    "push-reenters": printers("A", "B") + interfaces(ETHERNET)
    + call(GET_PRINTERS, a_array((NORMAL, call(GET_LAST_ERROR) + call(GET_MAC_ADDRESSES, ARRAY)),
                                 (THROW, call(GET_PRINTERS) + call(GET_VERSION))))
    + call(GET_LAST_ERROR),
    "push-reenters-same-array": printers("A", "B") + call(GET_PRINTERS, a_array((NORMAL, call(GET_PRINTERS, a_kept_object(0))))),
    "push-destroys-instance": printers("A", "B", "C")
    + call(GET_PRINTERS, a_array((NORMAL, destroy(0) + call(GET_LAST_ERROR))))
    + call(GET_VERSION) + raw_invoke(GET_PRINTERS, ARRAY),
    "push-destroys-last-entry": printers("A") + call(GET_PRINTERS, a_array((NORMAL, destroy(0)))),
    "push-destroys-other-instance": new_instance() + interfaces(ETHERNET, ETHERNET)
    + call(GET_MAC_ADDRESSES, a_array((NORMAL, destroy(1) + new_instance() + call(PRINT, slot=2)))),
    "push-prints": SPOOLER_SETUP + printers("Label")
    + call(GET_PRINTERS, a_array((NORMAL, call(PRINT, a_object(p_base64(b"nested"), p_known_printer(0)))))),
    # Names the spooler opens but does not list; a name that differs from the listed one in case only.
    "print-unlisted": SPOOLER_SETUP + add_printer(",XcvMonitor Local Port") + add_printer(",XcvPort LPT1:")
    + add_printer("\\\\127.0.0.1\\x")
    + call(PRINT, a_object(p_base64(b"A"), p_string(",XcvMonitor Local Port")))
    + call(PRINT, a_object(p_base64(b"B"), p_string(",XcvPort LPT1:")))
    + call(PRINT, a_object(p_base64(b"C"), p_string("\\\\127.0.0.1\\x")))
    + call(PRINT, a_object(p_base64(b"D"), p_string("LABEL"))) + fail_enum(1, error=1722) + call(PRINT, a_object(p_base64(b"E"), p_string("Label"))),
    "print-default-size-in-characters": code_page(True) + default_printer(LABEL_UTF8, size_in_characters=True)
    + call(PRINT, a_object(p_base64(b"label"))) + fail_spooler(END_DOC, nth=2) + call(PRINT, a_object(p_base64(b"lost"))),
    "new-twice": callbacks(1, 0) + new_instance() + callbacks(1, 0, slot=1) + call(GET_VERSION, slot=1),
    # A browser that holds no reference of its own across a call: the page removes the element from a
    # push and from the getters of print's argument.
    "hostile-browser": hold_references(False) + printers("A", "B", "C") + SPOOLER_SETUP
    + call(GET_PRINTERS, a_array((NORMAL, destroy(0) + call(GET_LAST_ERROR)))) + new_instance()
    + call(PRINT, a_object(p_base64(b"x"), p_string("Label"), getter=destroy(1) + call(PRINT, slot=1)), slot=1)
    + new_instance() + call(PRINT, a_object(p_base64(b"y"), getter=call(GET_LAST_ERROR, slot=2)), slot=2),
    "getter-destroys-instance": SPOOLER_SETUP
    + call(PRINT, a_object(p_base64(b"z"), p_string("Label"), getter=destroy(0))) + call(GET_LAST_ERROR),
    "push-fails-memory": printers("A", "B") + call(GET_PRINTERS, a_array((NORMAL, fail_alloc_at(1) + fail_mem_alloc_at(1)
                                                                         + call(GET_PRINTERS, ARRAY) + call(GET_LAST_ERROR)))),
    # The policy read as each instance is made, mixed with re-entry from a push.
    "policy-allowed-and-refused": SPOOLER_SETUP + interfaces(ETHERNET) + policy_lines(SHOP | TOKYO_ASCII)
    + hardware_addresses(False) + page_origin(O_TOKYO) + new_instance()
    + call(PRINT, a_object(p_base64(b"tokyo")), slot=1) + call(GET_MAC_ADDRESSES, ARRAY, slot=1)
    + page_origin(O_TOKYO_LOOKALIKE) + new_instance() + call(PRINT, a_object(p_base64(b"no")), slot=2)
    + call(GET_PRINTERS, ARRAY, slot=2) + call(GET_LAST_ERROR, slot=2),
    "policy-malformed-line": SPOOLER_SETUP + policy_lines(SHOP | TOKYO_UNICODE_LINE) + page_origin(O_SHOP)
    + new_instance() + call(GET_PRINTERS, ARRAY, slot=1) + policy_lines(FULL_WIDTH_STOP_LINE | SHOP)
    + new_instance() + call(PRINT, a_object(p_base64(b"no")), slot=2),
    "policy-push-reenters": printers("A", "B") + interfaces(ETHERNET) + policy_lines(ANY_SHOP_SUBDOMAIN)
    + page_origin(O_SHOP_SUBDOMAIN) + new_instance()
    + call(GET_PRINTERS, a_array((NORMAL, page_origin(O_HTTP_SHOP) + new_instance() + call(GET_PRINTERS, ARRAY, slot=2)
                                  + call(GET_MAC_ADDRESSES, ARRAY, slot=1)),
                                 (NORMAL, destroy(1) + call(PRINT, slot=1))), slot=1),
    "policy-any-origin": policy_lines(SHOP, any_line="https://*.xn--bcher-kva.example")
    + page_origin(any_origin="https://m\u00fcnchen.b\u00fccher.example") + new_instance()
    + call(GET_PRINTERS, ARRAY, slot=1) + page_origin(O_NONE) + new_instance() + call(GET_PRINTERS, ARRAY, slot=2),
}

ORIGIN_SEEDS = {
    "ascii": "https://shop.example.com\nhttps://shop.example.com\n",
    "international": "https://t\u014dky\u014d.example\nhttps://xn--tky-qxac.example\n",
    "punycode": "https://xn--tky-qxac.example:443\nhttps://XN--TKY-QXAC.example\nhttps://a.example\n",
    "subdomain": "https://m\u00fcnchen.b\u00fccher.example:8443\nhttps://*.xn--bcher-kva.example:8443\n",
    "mixed-label": "http://B\u00fccher-Shop.\u4e2d\u6587.example\nhttp://xn--bcher-shop-9db.xn--fiq228c.example\n",
    "best-fit-line": "https://tokyo.example\nhttps://t\u014dky\u014d.example\n",
    "ipv6": "http://[::1]:8080\nhttp://[::1]:8080\n\nhttps://ignored.example\n",
}


# ---- bridge_fuzz ----

def frame(body):
    data = body.encode() if isinstance(body, str) else body
    return struct.pack("<I", len(data)) + data


def request(request_id, method, more="", origin="https://shop.example"):
    return frame('{"id":%d,"origin":"%s","method":"%s"%s}' % (request_id, origin, method, more))


def part(request_id, k, n, data, more=""):
    return request(request_id, "print", ',"data":"%s","part":%d,"parts":%d%s' % (data, k, n, more))


BRIDGE_SEEDS = {
    "every-method": b"".join([request(1, "getVersion"), request(2, "getLastError"), request(3, "getPrinters"),
                              request(4, "getMacAddresses"), request(5, "status"),
                              request(6, "print", ',"data":"QUJD"'),
                              request(7, "print", ',"data":"QUJD","printer":"Office"')]),
    "module-failure": request(1, "print", ',"data":"QU=D","printer":"Nope"') + request(2, "getLastError"),
    "parts": part(1, 1, 3, "QUJD", ',"printer":"Office"') + part(2, 2, 3, "REVG") + part(3, 3, 3, "Rw=="),
    "parts-out-of-order": part(1, 1, 3, "QUJD") + part(2, 3, 3, "REVG") + part(3, 2, 3, "REVG"),
    "parts-interleaved": part(1, 1, 2, "QUJD") + request(2, "status") + part(3, 2, 2, "REVG"),
    "parts-over-limit": part(1, 1, 4, "QUJDREVGR0hJ") + part(2, 2, 4, "QUJDREVGR0hJ") + part(3, 3, 4, "QUJDREVGR0hJ"),
    "origins": request(1, "getPrinters", origin="https://t\u014dky\u014d.example") +
               request(2, "getPrinters", origin="null") + request(3, "getVersion", origin="http://[::1]:8080"),
    "bad-json-with-id": frame('{"id":7,"method":"print","data":"QU') + request(8, "getVersion"),
    "wrong-types": frame('{"id":1,"origin":"https://a.example","method":7}') +
                   request(2, "print", ',"data":5') + request(3, "print", ',"data":"QUJD","part":"1","parts":2'),
    "unknown-method": request(1, "printAll"),
    "too-short": frame("1"),
    "no-id": frame("[1,2]"),
}


def write(directory, seeds):
    os.makedirs(directory, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(directory, "seed-" + name), "wb") as out:
            out.write(data)


def main():
    write(os.path.join(HERE, "corpus", "decoder_fuzz"), {n: bytes([m]) + t for n, (m, t) in DECODER_SEEDS.items()})
    write(os.path.join(HERE, "corpus", "script_fuzz"), SCRIPT_SEEDS)
    write(os.path.join(HERE, "corpus", "origin_fuzz"), {n: t.encode() for n, t in ORIGIN_SEEDS.items()})
    write(os.path.join(HERE, "corpus", "bridge_fuzz"), BRIDGE_SEEDS)


if __name__ == "__main__":
    main()
