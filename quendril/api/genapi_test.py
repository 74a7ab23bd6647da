#!/usr/bin/env python3
"""The generator accepts the real table and rejects malformed ones with the line at fault."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
GENAPI = os.path.join(HERE, 'genapi.py')

GOOD = """\
# a small valid table
Login          server logon bind=2 | ClientID:i32, local EventHandle:i32, local Window:i64, local MessageNo:i32
GetCount       server bind=1 method | out pCount:i32
ResultString   local bind=3 returns=text | Res:i32
GetNextThing   session event=1 record=Thing | out ID:i32, out Name:text
record Thing kind=1 | ID:i32, Name:text
"""


def run(table_text, *extra):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, 't.api')
        with open(path, 'w') as f:
            f.write(table_text)
        args = [sys.executable, GENAPI] + (['--check', path] if not extra else [path, tmp])
        p = subprocess.run(args, capture_output=True, text=True)
        outputs = sorted(os.listdir(tmp)) if extra else []
        return p.returncode, p.stderr, outputs


def replace_line(number, text):
    lines = GOOD.split('\n')
    lines[number - 1] = text
    return '\n'.join(lines)


class GenapiTest(unittest.TestCase):
    def test_real_table_passes(self):
        with open(os.path.join(HERE, 'functions.api'), encoding='utf-8') as f:
            rc, err, _ = run(f.read())
        self.assertEqual(rc, 0, err)

    def test_small_table_generates_three_headers(self):
        rc, err, files = run(GOOD, 'generate')
        self.assertEqual(rc, 0, err)
        self.assertEqual(files, ['api_table.h', 'binding_order.h', 'quendril_api.h', 't.api'])

    def test_malformed_lines_are_named(self):
        cases = [
            (3, 'GetCount server bind=1', "missing '|'"),
            (3, 'GetCount server | a:i32 | b:i32', "more than one '|'"),
            (3, 'GetCount nowhere | out pCount:i32', "unknown kind 'nowhere'"),
            (3, 'GetCount server colour=red | out pCount:i32', "unknown attribute 'colour=red'"),
            (3, 'GetCount server bind=x | out pCount:i32', 'bind=x is not a number'),
            (3, 'GetCount server bind=1 | out pCount:i33', "unknown type 'i33'"),
            (3, 'GetCount server bind=1 | out pCount i32', 'is not [out|local] Name:type'),
            (3, 'GetCount server bind=1 | a:i32, a:i16', "parameter 'a' appears twice"),
            (3, 'GetCount server bind=1 | a:i32,, b:i16', 'empty parameter'),
            (3, 'Login server bind=1 | out pCount:i32', "already defined on line 2"),
            (3, 'GetCount server bind=2 | out pCount:i32', 'bind=2 already used by Login'),
            (3, 'GetCount server returns=text | out pCount:i32', 'only for local functions'),
            (2, 'Login server logon bind=2 | ClientID:i32', 'a logon ends with'),
            (5, 'GetNextThing session event=1 record=Thing | out ID:i32, out Name:i32',
             'parameters differ from record Thing (line 6) at position 2'),
            (5, 'GetNextThing session event=1 record=Other | out ID:i32', "record 'Other' is not defined"),
            (5, 'GetNextThing server event=1 record=Thing | out ID:i32, out Name:text', 'session functions'),
            (6, 'record Thing kind=1 | out ID:i32, Name:text', 'no out/local prefix'),
            (4, 'ResultString local bind=5 returns=text | Res:i32', 'not contiguous'),
        ]
        for number, line, message in cases:
            rc, err, _ = run(replace_line(number, line))
            self.assertEqual(rc, 1, line)
            self.assertIn(':%d: ' % number if 'contiguous' not in message else ': ', err, line)
            self.assertIn(message, err, line)

    def test_kind_without_reader(self):
        rc, err, _ = run(GOOD + 'record Other kind=2 | X:i32\n')
        self.assertEqual(rc, 1)
        self.assertIn(':7: record Other of kind 2 needs exactly one reader, has 0', err)


if __name__ == '__main__':
    unittest.main()
