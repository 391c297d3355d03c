#!/usr/bin/env python3
"""Writes the seed corpora of fuzz/corpus/<target>/ from realistic module
answers, frames and payloads (the same forms the tests use).  Run it again
after changing a target's input format; the files are checked in."""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

OK = b"\r\nOK\r\n"
ANSWERS = {
    "ok": OK,
    "error": b"\r\nERROR\r\n",
    "cme-error": b"\r\n+CME ERROR: 10\r\n",
    "cms-error": b"\r\n+CMS ERROR: 322\r\n",
    "busy": b"\r\nBUSY\r\n",
    "no-carrier": b"\r\nNO CARRIER\r\n",
    "connect": b"\r\nCONNECT\r\n",
    "prompt": b"\r\n> ",
    "partial-ok": b"\r\nO",
    "csq": b"\r\n+CSQ: 23,99\r\n\r\nOK\r\n",
    "csq-unknown": b"\r\n+CSQ: 99,99\r\n\r\nOK\r\n",
    "csq-short": b"\r\n+CSQ: 23\r\n\r\nOK\r\n",
    "cgmm-e": b"\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n",
    "cgmm-g": b"\r\nSIMCOM_SIM7600G-H\r\n\r\nOK\r\n",
    "cgmr": b"\r\n+CGMR: 4534B06SIM7100E\r\n\r\nOK\r\n",
    "cgmr-7600": b"\r\n+CGMR: LE20B04SIM7600G22\r\n\r\nOK\r\n",
    "cpin-ready": b"\r\n+CPIN: READY\r\n\r\nOK\r\n",
    "cpin-pin2": b"\r\n+CPIN: SIM PIN2\r\n\r\nOK\r\n",
    "cpin-cme": b"\r\n+CME ERROR: SIM PIN required\r\n",
    "spic": b"\r\n+SPIC: 3,10,0,10\r\n\r\nOK\r\n",
    "cspn": b"\r\n+CSPN: \"Vodafone.de\",1\r\n\r\nOK\r\n",
    "cspn-nomode": b"\r\n+CSPN: \"T-Mobile\"\r\n\r\nOK\r\n",
    "cnsmod": b"\r\n+CNSMOD: 0,8\r\n\r\nOK\r\n",
    "cgpsxe": b"\r\n+CGPSXE: 1\r\n\r\nOK\r\n",
    "cgreg-home": b"\r\n+CGREG: 0,1\r\n\r\nOK\r\n",
    "cgreg-search": b"\r\n+CGREG: 0,2\r\n\r\nOK\r\n",
    "cgpsxd": b"\r\n+CGPSXD: 0\r\n",
    "cgpsxd-fail": b"\r\n+CGPSXD: 10\r\n",
    "chtpupdate": b"\r\n+CHTPUPDATE: 0\r\n",
    "gprmc": b"\r\n$GPGSV,3,1,12,01,40,083,46*7A\r\n$GPRMC,100000.00,A,3113.7,N,12123.0,E,0.0,,010524,,,A*6C\r\n",
    "cnetstart": b"\r\nOK\r\n\r\n+CNETSTART: 0\r\n",
    "clbs": b"\r\n+CLBS: 0,31.228562,121.383660,550\r\n\r\nOK\r\n",
    "clbs-error": b"\r\n+CLBS: 2\r\n",
    "cmgf": b"\r\n+CMGF: 1\r\n\r\nOK\r\n",
    "cmgl": b"\r\n+CMGL: 1,\"REC READ\",\"+4917012345\",\"\",\"24/05/01,10:00:00+08\"\r\nhello\r\n"
            b"+CMGL: 2,\"REC UNREAD\",\"+4917012345\",\"\",\"24/05/01,10:01:00+08\"\r\nworld\r\n\r\nOK\r\n",
    "cmgr": b"\r\n+CMGR: \"REC READ\",\"+4917012345\",\"\",\"24/05/01,10:00:00+08\"\r\nhello\r\n\r\nOK\r\n",
    "cmgw": b"\r\n+CMGW: 5\r\n\r\nOK\r\n",
    "qcrmcall": b"\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n",
    "cclk": b"\r\n+CCLK: \"24/05/01,10:00:00+08\"\r\n\r\nOK\r\n",
}


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def field(text, size):
    data = text.encode()
    return data + b"\0" * (size - len(data))


# Request payloads, by type, as the RTOS side lays them out.
PAYLOADS = {
    8: field("user", 256) + field("secret", 256),
    9: field("internet", 256),
    10: field("1234", 32) + field("", 32),
    25: b"AT+CSQ\r\n",
    26: b"2",
    29: field("24/05/01,10:00:00+08", 40),
    31: field("www.google.com", 256),
    34: b"\x01",
    35: b"\x04\x01",
    36: b"\x03",
    37: b"\x03\x00",
    38: b"\x01" + field("4917012345", 16) + field("hello", 160),
}

# The answers each request's commands get, in order.
SCRIPTS = {
    3: ["ok", "ok"],
    4: ["ok"],
    6: ["cgmm-g", "ok"],
    10: ["cpin-cme", "ok"],
    11: ["cpin-ready", "spic"],
    12: ["cpin-pin2"],
    13: ["qcrmcall"],
    14: ["cgmm-e"],
    15: ["ok"],
    17: ["ok\xfegprmc", "ok"],
    18: ["cgpsxe"],
    19: ["ok", "cgpsxe"],
    20: ["csq"],
    21: ["cgmr-7600", "cnetstart"],
    23: ["ok\xfeclbs-error"],
    24: ["cgmr"],
    25: ["csq"],
    26: ["ok"],
    27: ["cspn"],
    28: ["cnsmod"],
    29: ["ok"],
    30: ["cgreg-search", "cgreg-home", "ok\xfecgpsxd"],
    31: ["error", "ok"],
    32: ["ok\xfechtpupdate"],
    33: ["cmgf"],
    34: ["ok"],
    35: ["cmgf", "cmgl"],
    36: ["cmgr"],
    37: ["ok"],
    38: ["ok", "prompt", "cmgw"],
}


def answer(script_entry):
    # "a\xfeb": the answers a and b as two pieces of one answer.
    return b"\xfe".join(ANSWERS[name] for name in script_entry.split("\xfe"))


def main():
    shutil.rmtree(os.path.join(HERE, "corpus"), ignore_errors=True)
    for name, data in ANSWERS.items():
        write("fuzz_answers", name, data)
        write("fuzz_checkers", name, data)
    for command in [b"AT+CGPSXD=0", b"AT+CHTPUPDATE \r\n", b"AT+CMGW=\"+49170\"", b"AT+CSQ\r\n"]:
        write("fuzz_checkers", "command-" + command.split(b"=")[0][3:].strip().decode().lower(),
              command + b"\0" + command.rstrip(b" \r\n"))

    def frame(type_, payload=b""):
        return struct.pack("<II", len(payload), type_) + payload

    write("fuzz_frames", "empty-request", frame(20))
    write("fuzz_frames", "apn", frame(9, PAYLOADS[9]))
    write("fuzz_frames", "several", frame(20) + frame(25, PAYLOADS[25]) + frame(38, PAYLOADS[38]) + frame(2))
    write("fuzz_frames", "cut-short", struct.pack("<II", 1000, 26) + b"2")

    for type_ in range(3, 39):
        payload = PAYLOADS.get(type_, b"")
        write("fuzz_dispatch", "type-%02d" % type_, bytes([type_]) + payload)
        if type_ in PAYLOADS and len(payload) > 1:
            write("fuzz_dispatch", "type-%02d-short" % type_, bytes([type_]) + payload[: len(payload) // 2])
    write("fuzz_dispatch", "raw-debug", b"\x19DBG\r\n")
    write("fuzz_dispatch", "raw-flush", b"\x19FLUSH\r\n")
    write("fuzz_dispatch", "unknown-type", b"\x27abc")

    for type_, script in SCRIPTS.items():
        parts = [PAYLOADS.get(type_, b"")] + [answer(entry) for entry in script]
        write("fuzz_operations", "type-%02d" % type_, bytes([type_ - 3]) + b"\xff".join(parts))


if __name__ == "__main__":
    main()
