#!/usr/bin/env python3
"""Checks the compiled help file against its sources.

usage: check_help.py TOLLMARK_CHM HELP_SOURCE_DIR

Debian's chmlib tools must list and extract the file; its contents must lead
to every topic of the sources under the topic's title; every topic must keep
its Russian title in Windows-1251, the charset it declares; the index and the
links between topics must lead to topics that are there; and the viewer must
be told the Russian language (0x419).
"""
import glob, os, re, struct, subprocess, sys, tempfile, unittest

CHM, SOURCES = sys.argv.pop(1), sys.argv.pop(1)
TITLE = re.compile(r'<title>(.*?)</title>', re.S | re.I)
LOCAL = re.compile(r'<param name="Local" value="([^"]+)"', re.I)


class CompiledHelp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        listing = subprocess.run(['enum_chmLib', CHM], capture_output=True, text=True, errors='replace')
        cls.listed = set(re.findall(r'/([^/\s]+\.htm)\s*$', listing.stdout, re.M)) if listing.returncode == 0 else set()
        subprocess.run(['extract_chmLib', CHM, cls.folder.name], capture_output=True)
        cls.topics = {}
        for path in sorted(glob.glob(os.path.join(SOURCES, '*.htm'))):
            with open(path, encoding='utf-8') as file:
                cls.topics[os.path.basename(path)] = TITLE.search(file.read()).group(1).strip()

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def read(self, name):
        path = os.path.join(self.folder.name, name)
        self.assertTrue(os.path.isfile(path), f'{name} is not in the help file')
        with open(path, 'rb') as file:
            return file.read().decode('cp1251', errors='replace')

    def test_the_chm_tools_list_every_topic(self):
        self.assertTrue(self.topics)
        self.assertEqual(self.listed, set(self.topics))

    def test_the_contents_lead_to_every_topic_under_its_title(self):
        entries = {}
        for entry in re.findall(r'<OBJECT type="text/sitemap">(.*?)</OBJECT>', self.read('Tollmark.hhc'), re.S):
            local = LOCAL.search(entry)
            if local:
                entries[local.group(1)] = re.search(r'name="Name" value="([^"]*)"', entry).group(1)
        self.assertEqual(entries, self.topics)

    def test_every_topic_keeps_its_russian_title_in_windows_1251(self):
        for topic, title in self.topics.items():
            with self.subTest(topic=topic):
                text = self.read(topic)
                self.assertRegex(text, re.compile(r'<meta[^>]+charset=windows-1251', re.I))
                self.assertEqual(TITLE.search(text).group(1).strip(), title)
                self.assertRegex(title, '[А-Яа-яЁё]')

    def test_the_index_and_the_links_lead_to_topics_that_are_there(self):
        links = [('Tollmark.hhk', local) for local in LOCAL.findall(self.read('Tollmark.hhk'))]
        self.assertTrue(links, 'the index is empty')
        for topic in self.topics:
            links += [(topic, link) for link in re.findall(r'href="([^"#:]+\.htm)', self.read(topic))]
        for source, link in links:
            with self.subTest(source=source):
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
