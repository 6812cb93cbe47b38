#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets that read their input with
FuzzedDataProvider (niopen, catalogue, link): each seed is a meaningful case
spelled in the order in which the target consumes it. The text targets'
seeds are plain field texts, kept as files. Run from anywhere:
    python3 tests/fuzz/corpus/make_seeds.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


class Seed:
    """FuzzedDataProvider takes strings and bytes from the front and numbers
    from the back, so a seed is the front stream and the reversed back one."""

    def __init__(self):
        self.front, self.back = bytearray(), bytearray()

    def int(self, value, low, high):  # ConsumeIntegralInRange(low, high)
        span, offset, chunks = high - low, 0, []
        while offset < 64 and (span >> offset) > 0:
            offset += 8
            chunks.append(None)
        v = value - low
        for i in range(len(chunks)):  # the first byte taken is the most significant
            self.back.append((v >> (8 * (len(chunks) - 1 - i))) & 0xFF)
        return self

    def bool(self, value):
        return self.int(1 if value else 0, 0, 255)

    def text(self, s):  # ConsumeRandomLengthString: '\\' doubled, ended by '\\' + another byte
        data = s.encode('latin-1') if isinstance(s, str) else bytes(s)
        self.front += data.replace(b'\\', b'\\\\') + b'\\E'
        return self

    def bytes(self, data):  # ConsumeBytes / ConsumeBytesAsString
        self.front += data.encode('latin-1') if isinstance(data, str) else bytes(data)
        return self

    def write(self, target, name):
        folder = os.path.join(HERE, target)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(bytes(self.front) + bytes(reversed(self.back)))


def niopen(name, older=False, key=0, value=b'', vtype=0, iface=1, any_name='', any_index=0,
           fail_open=False, refuse=False):
    s = Seed().bool(older).int(0 if fail_open else 1, 0, 7).int(0 if refuse else 1, 0, 7)
    s.int(key, 0, 3).int(vtype, 0, 3).text(value).int(iface, 0, 2).int(any_index, 0, 65535)
    return s.text(any_name).text(name)


niopen('VNI1').write('niopen', 'plain-name')
niopen('NIC1.2', older=True, key=2, value=b'\\\\.\\NIC1.2\0').write('niopen', 'older-index')
niopen('Virtual network', key=2, value=b'VNI1\0').write('niopen', 'key-value')
niopen('Virtual network', key=2, value=b'N' * 45 + b'\0').write('niopen', 'value-too-long')
niopen('N' * 39, iface=1).write('niopen', 'name-39')
niopen('VNI1', key=3, value=b'X\0', iface=2, any_name='vni1').write('niopen', 'denied-key')
niopen('VNI1', fail_open=True).write('niopen', 'open-fails')
niopen('NIC1.7', older=True, iface=2, any_name='NIC1', any_index=7, refuse=True).write(
    'niopen', 'older-refused')


def catalogue(subkeys, key_mode=2):
    s = Seed().int(key_mode, 0, 7)
    if key_mode == 0:
        return s
    s.int(len(subkeys), 0, 14)
    for name, has_value, vtype, data, nul, denied in subkeys:
        s.text(name).int(1 if has_value else 0, 0, 5).int(vtype, 0, 4).text(data)
        s.bool(nul).int(0 if denied else 1, 0, 15).bool(False)
    return s


def ok(name, device):
    return (name, True, 0, device, True, False)


catalogue([ok('Card A', 'NIC1'), ok('Card B', 'NIC2.1'), ok('Virtual', 'VNI1')]).write(
    'catalogue', 'three')
catalogue([ok('Card %02d' % i, 'NIC%d' % i) for i in range(12)]).write('catalogue', 'twelve')
catalogue([('No value', False, 0, '', True, False), ('Expand', True, 2, 'NIC1', True, False),
           ('Full', True, 0, 'D' * 64, False, False), ('Longest', True, 0, 'D' * 63, True, False),
           ok('Good', 'NIC1')]).write('catalogue', 'values')
catalogue([ok('Before', 'NIC1'), ('Denied', True, 0, 'NIC2', True, True),
           ok('After', 'NIC3')]).write('catalogue', 'denied-subkey')
catalogue([ok('N' * 63, 'NIC1'), ok('N' * 64 + 'x', 'NIC2'), ok('After', 'NIC3')]).write(
    'catalogue', 'long-name')
catalogue([], key_mode=0).write('catalogue', 'no-key')
catalogue([ok('Card', 'NIC1')], key_mode=1).write('catalogue', 'key-denied')

NODE = bytes([1, 2, 3, 4, 5, 6])


def link(location, events=(), node_id=True, auto=False, tx=12, stored=b'OLD\0\0\0', drop=False,
         delay=0, read_fail=False, write_fail=False, retries=False, direct=True):
    s = Seed().int(len(location), 0, 6).bytes(location).bool(node_id)
    if not node_id:
        s.bytes(bytes([0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF]))
    s.bool(auto).int(tx, 0, 15).bool(stored is None)
    if stored is not None:
        s.bytes(stored)
    s.int(0 if drop else 1, 0, 3).bool(delay == 0)
    if delay:
        s.int(delay, 0, 6000)
    s.int(0 if read_fail else 1, 0, 7).int(0 if write_fail else 1, 0, 7).bool(retries).bool(direct)
    for at, kind, data in events:
        s.int(at, 0, 6000).int(kind, 0, 8).int(len(data), 0, 66).bytes(data)
    return s


link('NEWLOC').write('link', 'change')
link('OLD', stored=None).write('link', 'identical')
link('').write('link', 'empty-location')
link('NEWLOC', auto=True, direct=False, events=[(100, 7, b'')]).write('link', 'pin-auto')
link('AB', direct=False, events=[(100, 7, b'')]).write('link', 'pin-no-auto')
read_answer = bytes(17) + b'XY\0\0\0\0'
link('NEWLOC', drop=True, events=[(100, 3, read_answer), (200, 4, b'')]).write(
    'link', 'crafted-answers')
link('NEWLOC', node_id=False, retries=True, delay=60).write('link', 'unknown-node')
link('NEWLOC', drop=True, events=[(10, 6, b''), (4000, 5, b'')]).write('link', 'failures')
link('NEWLOC', delay=4990, events=[(50, 0, b'\x18\x03\x60\x00'),
                                   (50, 8, bytes(17) + NODE)]).write('link', 'pin-during-change')
