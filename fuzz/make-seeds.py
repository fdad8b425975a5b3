#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora from the wire format's worked examples."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def inbound(text, pad=True):
    body = [0x02] + list(text) + [0x03]
    checksum = 0
    for byte in body:
        checksum ^= byte
    report = [0x3F, 2 + len(body) - 1] + body + [checksum]
    return report + [0] * (64 - len(report)) if pad else report


def chunk(report, take=False):
    length = len(report)
    control = 0x40 if length == 64 else length
    return bytes([control | (0x80 if take else 0)] + report)


def status_text(firmware, serial):
    data = [0x00, 0x05, 0xA5, 0x01, 0x02, 0x64, 0x01] + list(range(0x30, 0x44))
    data += list(firmware.encode()) + [0] + list(serial.encode()) + [0]
    return b"01" + b"%02X" % len(data) + bytes(data)


def write(folder, name, content):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as out:
        out.write(content)


jack = [0x3F, 0x09, 0x02, 0x30, 0x46, 0x30, 0x32, 0x00, 0x01, 0x03, 0x74]
write("read_cycle", "jack-status", chunk(jack + [0] * 53, take=True))
write("read_cycle", "status-reply", chunk(inbound(status_text("V6.1234", "1234567890ABCDEFGHIJ")), take=True))
write("read_cycle", "plain-reply", chunk(inbound(b"0201\x00")))
write("read_cycle", "ack-nak", chunk([0x3F, 0, 0x06] + [0] * 61) + chunk([0x3F, 0, 0x15] + [0] * 61))
bad_then_good = jack[:-1] + [0x75] + inbound(b"0202\x00\x05", pad=False)[1:]
write("read_cycle", "checksum-bad-then-good", chunk(bad_then_good + [0] * (64 - len(bad_then_good))))
write("read_cycle", "split-reply", chunk([0x3F, 0x06, 0x02, 0x30, 0x32, 0x30, 0x31]) + chunk([0x3F, 0x03, 0x05, 0x03, 0x07], take=True))
write("read_cycle", "type-3", chunk(inbound(b"0301\x00"), take=True))


# [kind index into 1 2 4 5 6 7 9 10 11 12 14 15][value][data]
write("frames", "status", bytes([0, 3]) + b"V6.1 12345678")
write("frames", "led-level", bytes([1, 5]))
write("frames", "code-table", bytes([3, 20]) + bytes([0x00, 0x02, 0x03, 0x06, 0x15, 0xFF] + list(range(0x10, 0x1E))))
write("frames", "serial-of-255", bytes([10, 0]) + b"S" * 255)
write("frames", "jack-status", bytes([11, 0xFF]))

EXAMPLES = os.path.join(HERE, "..", "examples")
for name in sorted(os.listdir(EXAMPLES)):
    with open(os.path.join(EXAMPLES, name), "rb") as example:
        text = example.read()
    write("backup_file", name, text)
before = open(os.path.join(EXAMPLES, "compare-before-upgrade.txt"), "rb").read()
for after in ("compare-after-upgrade.txt", "compare-after-failed-upgrade.txt"):
    write("compare", after, before + b"\0" + open(os.path.join(EXAMPLES, after), "rb").read())
write("backup_file", "tricky", b"Buzzer 80\r\nVelnor has 2\nKeycode values\n" + b" ".join(b"%x" % i for i in range(25)) + b"\nSerial No ABC\nVersion\n")
# Over the bounds: a line longer than 4096 bytes (which also lets the fuzzers' inputs grow past
# it), and control bytes in the words that are echoed or sent to the keypad.
write("backup_file", "long-table-line", b"Velnor has 6 keys\nKeycode values\n" + b"1e " * 2800 + b"\nSerial No 1\n")
write("backup_file", "control-bytes", b"Version No V6\x07.1\x1b[2J\nSerial No 12\x1b]0;x\x07\nBuzzer 1\n")
write("compare", "long-line", before + b"Buzzer " + b"1" * 8400 + b"\n\0" + before + b"Serial No 1\x1b[2J\n")
for name, words in {
    "restore": [b"-b", b"backup.txt"],
    "compare": [b"-c", b"old.txt", b"new.txt"],
    "key-count": [b"-k", b"6", b"-n", b"12345678"],
    "missing": [b"-x", b"-c", b"a"],
    "too-long": [b"-n", b"1" * 30],
}.items():
    write("command_line", name, b"\0".join([b"VelnorUtility"] + words))
