#!/usr/bin/python3
"""Reads the test APKs with Debian's androguard, an independent reader, and
prints for each the application label's resource id and the values
androguard resolves for it: the default configuration and, where the table
has one, zh-rCN. The device layer's test compares its own reading with
these lines. Usage: androguard_names.py OUT.txt APK...

Line format (tab-separated): file name, resource id (hex), default value,
zh-rCN value or "-". Apps whose label is a literal print the literal and
"-" as id.
"""
import logging
import os
import sys

logging.disable(logging.CRITICAL)
from androguard.core.bytecodes.apk import APK  # noqa: E402
from androguard.core.bytecodes.axml import ARSCResTableConfig  # noqa: E402


def clean(text):
    return text.replace('\t', ' ').replace('\n', ' ')


def line_for(path):
    apk = APK(path)
    label = apk.get_attribute_value('application', 'label')
    name = os.path.basename(path)
    if label is None:
        return None
    if not label.startswith('@'):
        return '\t'.join([name, '-', clean(label), '-'])
    arsc = apk.get_android_resources()
    rid, _ = arsc.parse_id(label)
    default = arsc.get_resolved_res_configs(rid, ARSCResTableConfig.default_config())
    zh = '-'
    for config, value in arsc.get_resolved_res_configs(rid):
        if config.get_language_and_region() == 'zh-rCN':
            zh = value
            break
    return '\t'.join([name, '%08x' % rid, clean(default[0][1]) if default else '-', clean(zh)])


def main():
    out, apks = sys.argv[1], sys.argv[2:]
    lines = [line for line in (line_for(p) for p in apks) if line]
    with open(out, 'w', encoding='utf-8') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
