#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: small inputs made by hand from the
formats, one folder per target below corpus/. Running it again reproduces every seed
byte for byte; a seed's name says what it holds."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def u32(*values):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in values)


def u16(*values):
    return b"".join(struct.pack("<H", v) for v in values)


def piece(data):
    """A piece as FuzzInput::piece() reads it: a big-endian 16-bit length, the bytes."""
    return struct.pack(">H", len(data)) + data


def text(value, width):
    raw = value.encode("utf-8")[:width]
    return raw + b"\0" * (width - len(raw))


# --- the device protocol ---------------------------------------------------------------

def frame(body):
    return b"1111" + u32(len(body)) + body


KEEP_ALIVE = b"1111" + u32(0)


def fragment(message_id, count, total, number, channel, data):
    return b"1111" + u32(0xFFFFFFFF) + u32(message_id, count, total, number, len(data), channel) + data


def message(command, payload, parameter=0):
    return frame(u32(command, parameter, 0, len(payload)) + payload)


def greeting(version=3, cipher=0, key=b"\x5a\xc3\x17\x88", challenge=1234567, mode=0):
    g = bytearray(64)
    g[4:8] = u32(1)
    g[12:16] = u32(version)
    g[24:28] = u32(cipher)
    g[28:32] = key
    g[45:48] = struct.pack("<I", challenge)[:3]
    g[52] = mode
    return bytes(g)


def acceptance():
    payload = bytearray(110)
    payload[0:4] = u32(1)
    payload[32] = 1
    payload[52:58] = bytes([0x02, 0, 0, 0, 0, 0x21])
    return message(0x1000101, bytes(payload))


def refusal(code):
    return message(0x1000102, u32(code))


def device_event():
    header = bytearray(40)
    header[0] = 0
    header[32:36] = u32(4)
    return message(0x1000C01, bytes(header) + b"data")


# --- face-library pages ----------------------------------------------------------------

def person_record(name, card, picture_length, list_type=1, gender=1, age=30):
    record = u32(0, list_type) + text(name, 128) + u32(gender, age) + text(card, 128)
    record += text("555-0101", 64) + b"\0" * 12 + u32(picture_length) + text("remark", 128)
    return record + b"\0" * (480 - len(record))


JPEG = b"\xff\xd8\xff\xe0" + b"picture" + b"\xff\xd9"


def page(total, persons):
    body = u32(total, len(persons))
    for name, card in persons:
        body += person_record(name, card, len(JPEG)) + JPEG
    return body


# --- seeds per target ------------------------------------------------------------------

def answer_xml(series="VRN_IPC", name="Gate"):
    return ('<?xml version="1.0" encoding="utf-8"?><multicastSearchResult><productInfo>'
            f'<productSeries>{series}</productSeries><devName>{name}</devName>'
            '<productModel>IPC-2100</productModel><softwareVer>5.1.0</softwareVer>'
            '<build>1208</build><softwareBulildDate>2023-06-01</softwareBulildDate>'
            '<hardwareVer>1.0</hardwareVer><kernelVer>4.9.37</kernelVer>'
            '<bootTime>2024-01-01 08:00:00</bootTime><runningTime>3600</runningTime>'
            '</productInfo><tcpIp><ipAddr><item><ip>192.0.2.10</ip><mask>255.255.255.0</mask>'
            '<route>192.0.2.1</route><dhcpSwitch>false</dhcpSwitch></item><item>'
            '<ip>198.51.100.10</ip><mask>255.255.255.0</mask></item></ipAddr>'
            '<dns1>192.0.2.53</dns1><dns2></dns2></tcpIp><port><dataPort>9008</dataPort>'
            '<httpPort>80</httpPort><rtspPort>554</rtspPort></port></multicastSearchResult>')


def search_datagram():
    mac = bytes([0x02, 0x00, 0x5E, 0x10, 0x20, 0x30])
    xml = answer_xml().encode()
    return {
        "probe-v1": b"QSRC\x01\x01\0\0" + u32(0x11223344),
        "probe-v2-delay": b"QSRC\x02\x01\0\0" + u32(0x11223344) + u16(250),
        "answer": b"QSRC\x01\x02\0\0" + u32(0x11223344) + mac + u16(len(xml)) + xml,
        "answer-short-xml": b"QSRC\x01\x02\0\0" + u32(7) + mac + u16(5) + b"<a/>x",
    }


def search_answer():
    return {
        "answer": answer_xml().encode(),
        "answer-entities": answer_xml(name="Gate &amp; &#x4E2D;&#25991; &lt;1&gt;").encode(),
        "answer-foreign-series": answer_xml(series="OTHER").encode(),
        "answer-latin1": answer_xml(name="Caf\xe9").encode("latin-1").replace(
            b'encoding="utf-8"', b'encoding="ISO-8859-1"'),
        "answer-long-names": answer_xml(name="N" * 40, series="VRN_" + "S" * 20).encode(),
    }


def frame_reader():
    no_pieces = b"\x00"
    split = b"\x03\x01\x07\x10"
    command = u32(0x1002008, 0, 0, 4) + u32(0)
    mixed = (frame(command) + KEEP_ALIVE +
             fragment(1, 2, 10, 1, 1, b"abcde") + fragment(2, 2, 6, 1, 0, b"xyz") +
             fragment(1, 2, 10, 2, 1, b"fghij") + fragment(2, 2, 6, 2, 0, b"uvw"))
    return {
        "message": no_pieces + frame(command),
        "mixed-in-pieces": split + mixed,
        "bad-magic": no_pieces + b"1112" + u32(4) + b"abcd" + frame(command),
        "fragment-other-channel": split + fragment(3, 1, 4, 1, 5, b"skip") + frame(command),
    }


def login_messages():
    names = piece(b"admin") + piece(b"123456")
    return {
        "plain-accepted": greeting() + names + acceptance()[8:],
        "xor-refused": greeting(cipher=0x10000) + names + refusal(2)[8:],
        "digest-scrambled": greeting(mode=2) + piece("\u00e9quipe".encode()) + piece(b"pw") +
                            acceptance()[8:],
        "unknown-cipher-code-0": greeting(cipher=7) + names + refusal(0)[8:],
    }


def session():
    start = message(0x1002006, u32(0, 1))
    chunk = message(0x1002008, u32(1, 1, 10, 2, 4) + b"data")
    return {
        "accepted-then-replies": greeting() + acceptance() + KEEP_ALIVE + start + chunk +
                                 device_event(),
        "refused": greeting() + refusal(2),
        "accepted-in-fragments": greeting() + fragment(9, 1, 16, 1, 0, b"") + acceptance() +
                                 message(0x1002002, u32(0), parameter=1),
        "version-2": greeting(version=2) + acceptance(),
    }


def reply(kind, flags, parameter, payload):
    """One step of facelib_replies: reply type index, open waits, parameter, payload."""
    return bytes([kind, flags, parameter]) + piece(payload)


START, IMPORT, EXPORT, END, QUERY, ADD, LOST = range(7)


def facelib_replies():
    export_data = (b"\x00" + reply(START, 1, 0, u32(0, 5)) +
                   reply(EXPORT, 0, 0, u32(5, 1, 2, 1, 3) + b"abc") +
                   reply(EXPORT, 0, 0, u32(5, 2, 2, 1, 0)) + reply(END, 2, 0, u32(0, 5)))
    import_data = (b"\x01" + reply(START, 1, 0, u32(0, 9)) + reply(IMPORT, 0, 0, u32(0, 9)) +
                   reply(IMPORT, 0, 0, u32(0, 9)) + reply(IMPORT, 0, 0, u32(0, 9)) +
                   reply(END, 2, 0, u32(0, 9)))
    csv = (b"\x02" + reply(QUERY, 0, 0, page(3, [("Ann", "C-1"), ("Bo, Jr.", "C-2")])) +
           reply(QUERY, 0, 0, page(3, [("../up", "C-3")])))
    batch = b"\x03" + reply(ADD, 0x11, 1, u32(0)) + reply(ADD, 0x21, 2, u32(0xFFFFFFF6))
    return {
        "export-data": export_data,
        "import-data": import_data,
        "csv-pages": csv,
        "batch-add": batch,
        "export-link-lost": b"\x00" + reply(START, 1, 0, u32(0, 1)) + reply(LOST, 0, 0, b""),
    }


def data_file():
    def header(size):
        return u32(0x00FFFFFF, 3, 1, 1, 1) + text("2024-01-01 08:00:00", 32) + u32(size)
    data = b"GFLB" + u32(1, 0)
    return {
        "valid": header(len(data)) + data,
        "size-mismatch": header(len(data) + 1) + data,
        "header-only": header(0),
        "bad-magic": u32(0x12345678) + header(len(data))[4:] + data,
    }


def csv_rows():
    example = open(os.path.join(HERE, "..", "example", "en-us", "person_info.csv"), "rb").read()
    return {
        "example-utf8": example,
        "utf8-bom": b"\xef\xbb\xbf" + example[:200],
        "utf16le": b"\xff\xfe" + example[:200].decode().encode("utf-16-le"),
        "quoted": b'a,"b, ""quoted""","multi\r\nline"\r\n  spaced  ,"  kept  "\r\n',
        "local-code-page": "Caf\xe9,na\xefve\r\n".encode("latin-1"),
    }


def person_table():
    example = open(os.path.join(HERE, "..", "example", "en-us", "person_info.csv"), "rb").read()
    return {
        "example": example,
        "faulty-row": example + b"Short Row,0\r\n",
        "full-width-header": "\uff0801\uff09Name,\uff0812\uff09Image\r\nAnn,ann.jpg\r\n".encode(),
        "no-picture-column": b"(01)Name,(06)List type\r\nAnn,1\r\n",
        "ages": b"(01)Name,(03)Birth,(06)List,(12)Image\r\nA,1990/1/2,0,a.jpg\r\nB,42,1,b.jpg\r\n"
                b"C,x,2,c.jpg\r\n",
    }


def face_image_add():
    block = (u32(1) + text("Marlow Vance", 128) + u32(1, 39) + text("EX-0001", 128) +
             text("555-0101", 64) + u32(320, 240, 4, len(JPEG)) + text("Front desk", 128))
    texts = (u32(1, 1, 39) + piece("Zo\u00eb \u4e2d\u6587".encode()) + piece(b"EX-0002") +
             piece(b"555-0102") + piece(b"x" * 130))
    return {
        "request": block + JPEG,
        "full-fields": u32(2) + b"N" * 128 + u32(0, 1) + b"C" * 128 + b"P" * 64 +
                       u32(1, 1, 0, 0) + b"R" * 128,
        "texts": texts + JPEG,
    }


def settings_file():
    sizes = struct.pack(">II", 1300, 800)
    ini = (b"[LocalSetting]\r\nColumnWidth0=40\r\nColumnShow2=1\r\nDialogWidth=1500\r\n"
           b"DialogHeight=900\r\nLanguage=409\r\n\r\n[Other]\r\nkey = \"value\"\r\n")
    return {
        "settings": sizes + ini,
        "settings-with-bom": sizes + b"\xef\xbb\xbf" + ini,
        "no-section": sizes + b"; comment\nDialogWidth=1\n",
        "empty": sizes,
    }


def language_file():
    index = b"[languages]\n0x0409=English (United States)\n"
    english = open(os.path.join(HERE, "..", "language", "English (United States).ini"), "rb").read()
    return {
        "english": piece(index) + piece(b"Line 1\nLine \"2\"\t\\") + english[:1500],
        "escapes": piece(index) + piece(b"  blanks  ") + b"[text]\nIDCS_X=a\\nb\\tc\\\\d\\\"e\\q\n",
        "index-elsewhere": piece(b"[languages]\n0x0409=Other\n") + piece(b"") + b"[text]\nA=1\n",
    }


# --- the address helper ----------------------------------------------------------------

def arp(operation, sender_mac, sender, target_mac, target, destination, source, pad=0):
    return (destination + source + b"\x08\x06" + struct.pack(">HHBBH", 1, 0x0800, 6, 4, operation)
            + sender_mac + bytes(sender) + target_mac + bytes(target) + b"\0" * pad)


OWN = bytes.fromhex("020000000001")
CAMERA = bytes.fromhex("020000000077")


def arp_frame():
    return {
        "kernel-reply": arp(2, CAMERA, [198, 51, 100, 77], OWN, [0, 0, 0, 0], OWN, CAMERA),
        "padded-request": arp(1, OWN, [0, 0, 0, 0], bytes(6), [198, 51, 100, 77],
                              b"\xff" * 6, OWN, pad=18),
        "ipv4-ethertype": arp(2, CAMERA, [198, 51, 100, 77], OWN, [0, 0, 0, 0], OWN,
                              CAMERA)[:12] + b"\x08\x00" + bytes(28),
        "short": arp(2, CAMERA, [198, 51, 100, 77], OWN, [0, 0, 0, 0], OWN, CAMERA)[:41],
    }


def netprep_input():
    def words(*items):
        return b"\x01" + b"\0".join(item.encode() for item in items)

    def report(line):
        return b"\x00" + line.encode()

    return {
        "arguments": words("prepare", "--address", "198.51.100.10", "--mask", "255.255.255.0",
                           "--mac", "00:1a:2b:00:00:0a"),
        "arguments-reordered": words("prepare", "--mac", "00:1A:2B:00:00:0A", "--address",
                                     "10.1.2.3", "--mask", "255.0.0.0"),
        "arguments-loopback": words("prepare", "--address", "127.0.0.1", "--mask", "255.0.0.0",
                                    "--mac", "00:1a:2b:00:00:0a"),
        "report-added": report('{"adapter":"lan0","address":"198.51.100.251","foundByArp":false,'
                               '"ifindex":2,"mask":"255.255.255.0","result":"added"}'),
        "report-missing-capability": report('{"capability":"CAP_NET_ADMIN",'
                                            '"result":"missing-capability"}'),
        "report-escaped": report('{"error":"bad \\"text\\"\\n\\u0001","result":"system-failed"}'),
    }


TARGETS = {
    "search_datagram": search_datagram,
    "search_answer": search_answer,
    "frame_reader": frame_reader,
    "login_messages": login_messages,
    "session": session,
    "facelib_replies": facelib_replies,
    "data_file": data_file,
    "csv_rows": csv_rows,
    "person_table": person_table,
    "face_image_add": face_image_add,
    "settings_file": settings_file,
    "language_file": language_file,
    "arp_frame": arp_frame,
    "netprep_input": netprep_input,
}


def main():
    for target, make in TARGETS.items():
        folder = os.path.join(HERE, "corpus", target)
        os.makedirs(folder, exist_ok=True)
        for name, data in make().items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
