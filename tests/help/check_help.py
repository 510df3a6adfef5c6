#!/usr/bin/env python3
"""Checks the compiled help file against its sources.

usage: check_help.py TOLLMARK_CHM HELP_SOURCE_DIR

The file must be a CHM that Debian's chmlib tools list and extract; its
contents must lead to every topic of the sources, under the topic's title;
every topic must keep its Russian title in Windows-1251 and declare that
charset; the index and the links between topics must lead to topics that are
there; and the file must carry the Russian language (0x419) for the viewer.
"""
import glob
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

CHM, SOURCES = sys.argv[1], sys.argv[2]
del sys.argv[1:3]

TITLE = re.compile(r'<title>(.*?)</title>', re.S | re.I)
CHARSET = re.compile(r'<meta[^>]+charset=windows-1251', re.I)
LOCAL = re.compile(r'<param name="Local" value="([^"]+)"', re.I)
ENTRY = re.compile(r'<OBJECT type="text/sitemap">(.*?)</OBJECT>', re.S | re.I)
NAME = re.compile(r'<param name="Name" value="([^"]*)"', re.I)
LINK = re.compile(r'href="([^"#:]+\.htm)(?:#[^"]*)?"', re.I)
CYRILLIC = re.compile('[А-Яа-яЁё]')


def source_topics():
    topics = {}
    for path in sorted(glob.glob(os.path.join(SOURCES, '*.htm'))):
        with open(path, encoding='utf-8') as file:
            topics[os.path.basename(path)] = TITLE.search(file.read()).group(1).strip()
    return topics


class CompiledHelp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        listing = subprocess.run(['enum_chmLib', CHM], capture_output=True, text=True, errors='replace')
        cls.listing = listing.stdout if listing.returncode == 0 else ''
        subprocess.run(['extract_chmLib', CHM, cls.folder.name], capture_output=True)
        cls.topics = source_topics()

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def read(self, name, encoding='cp1251'):
        path = os.path.join(self.folder.name, name)
        self.assertTrue(os.path.isfile(path), f'{name} is not in the help file')
        with open(path, 'rb') as file:
            return file.read().decode(encoding, errors='replace')

    def test_the_chm_tools_list_every_topic(self):
        self.assertTrue(self.topics, 'no topics in ' + SOURCES)
        listed = set(re.findall(r'/([^/\s]+\.htm)\s*$', self.listing, re.M))
        self.assertEqual(listed, set(self.topics))

    def test_the_contents_lead_to_every_topic_under_its_title(self):
        contents = self.read('Tollmark.hhc')
        entries = {}
        for entry in ENTRY.findall(contents):
            local = LOCAL.search(entry)
            if local:
                entries[local.group(1)] = NAME.search(entry).group(1)
        self.assertEqual(set(entries), set(self.topics), 'topics missing from or unknown to the contents')
        for topic, title in self.topics.items():
            self.assertEqual(entries[topic], title, topic)

    def test_every_topic_keeps_its_russian_title_in_windows_1251(self):
        for topic, title in self.topics.items():
            with self.subTest(topic=topic):
                text = self.read(topic)
                self.assertRegex(text, CHARSET)
                self.assertEqual(TITLE.search(text).group(1).strip(), title)
                self.assertRegex(title, CYRILLIC)

    def test_the_index_and_the_links_lead_to_topics_that_are_there(self):
        targets = LOCAL.findall(self.read('Tollmark.hhk'))
        self.assertTrue(targets, 'the index is empty')
        for topic in self.topics:
            targets += [(topic, link) for link in LINK.findall(self.read(topic))]
        for target in targets:
            source, link = target if isinstance(target, tuple) else ('Tollmark.hhk', target)
            with self.subTest(source=source, link=link):
                self.assertIn(link, self.topics)

    def test_the_viewer_is_told_the_russian_language(self):
        with open(os.path.join(self.folder.name, '#SYSTEM'), 'rb') as file:
            system = file.read()
        offset, language = 4, None
        while offset + 4 <= len(system):
            code, length = struct.unpack_from('<HH', system, offset)
            if code == 4:
                language = struct.unpack_from('<I', system, offset + 4)[0]
            offset += 4 + length
        self.assertEqual(language, 0x419)


if __name__ == '__main__':
    unittest.main(verbosity=2)
