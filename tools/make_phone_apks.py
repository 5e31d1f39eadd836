#!/usr/bin/env python3
"""Builds an APK for every package of a simulated phone's profile, labelled
as the app is called on a phone set to Chinese (China), for the simulated
adb's apk-dir (tools/run.sh). Names come from tools/app-names.txt;
a package missing there gets a label made from its name, and a Chinese one
when every word of it is in WORDS below. Two in five apps get a PNG
launcher icon in mipmap-mdpi, one in six only an adaptive (XML) icon (the
sources of tests/apk/icons_xml), and the table's "s" apps keep their
Chinese label in a language split, as tests/apk/split does. Built with Debian's aapt and
zipalign, as tools/make_test_apks.sh builds the readers' test APKs.

Usage: make_phone_apks.py PROFILE OUT_DIR [NAMES_TABLE]

OUT_DIR gets <package>.apk, <package>@split_config.zh.apk for split apps,
labels.txt (what the phone shows, a line per app: package, default label,
zh-CN label or -, the icon's kind png, adaptive or -, and split or -; tabs
between) and a stamp; it is rebuilt only when the profile's packages, the
table or this script change.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FRAMEWORK = '/usr/share/android-framework-res/framework-res.apk'
ADAPTIVE_SOURCES = os.path.join(ROOT, 'tests', 'apk', 'icons_xml', 'res')
DEFAULT_TABLE = os.path.join(ROOT, 'tools', 'app-names.txt')
# The machine is shared: two aapt runs at a time.
WORKERS = 2

# Name parts that say nothing alone: the label takes the part before them too.
GENERIC = {'overlay', 'resources', 'res', 'service', 'services', 'server', 'common', 'api', 'module', 'sdk',
           'global', 'mi', 'xiaomi', 'miui', 'main', 'android', 'client', 'provider', 'sysservice', 'enabled',
           'setting', 'policy', 'dialog'}
# Chinese for the words of made-up labels; a label with a word not here stays English only.
WORDS = {
    'overlay': '叠加层', 'resources': '资源', 'service': '服务', 'services': '服务', 'settings': '设置',
    'setting': '设置', 'bluetooth': '蓝牙', 'camera': '相机', 'tools': '工具', 'wallpaper': '壁纸',
    'backup': '备份', 'cropper': '裁剪器', 'dialog': '对话框', 'wifi': 'WLAN', 'phone': '电话', 'common': '通用',
    'config': '配置', 'network': '网络', 'system': '系统', 'helper': '助手', 'fingerprint': '指纹',
    'location': '位置', 'time': '时间', 'security': '安全', 'manager': '管理器', 'permission': '权限',
    'debug': '调试', 'modem': '调制解调器', 'remote': '远程', 'wallet': '钱包', 'key': '钥匙', 'digital': '数字',
    'voice': '语音', 'trigger': '唤醒', 'emergency': '紧急', 'ims': 'IMS', 'wfd': 'WFD', 'cit': 'CIT',
    'qr': '二维码', 'sim': 'SIM 卡', 'uim': 'UIM', 'call': '通话', 'features': '功能', 'device': '设备',
    'statistics': '统计', 'audio': '音频', 'mode': '模式', 'ride': '骑行', 'trust': '可信', 'app': '应用',
    'finder': '查找', 'policy': '策略', 'kiosk': '信息亭', 'photo': '照片', 'extra': '额外', 'content': '内容',
    'privacy': '隐私', 'computing': '计算', 'client': '客户端', 'secure': '安全', 'ui': '界面', 'lock': '锁',
    'telephony': '电话', 'connection': '连接', 'local': '本地', 'transport': '传输', 'push': '推送', 'sms': '短信',
}
# More English words, to cut names such as "wallpapercropper" into words.
VOCABULARY = set(WORDS) | {'auto', 'registration', 'dynamic', 'dds', 'work', 'load', 'classifier', 'catcher',
                           'patch', 'green', 'guard', 'reporter', 'provision', 'keeper', 'sandbox', 'processor',
                           'pac', 'entitlement', 'color', 'msg', 'tunnel', 'cacert', 'empty', 'payload', 'half',
                           'sheet', 'notes', 'role', 'module', 'metadata', 'stack', 'managed', 'provisioning',
                           'federated', 'compute', 'virtual', 'machine', 'auth', 'engine', 'macro', 'cloud', 'sar',
                           'ota', 'svc', 'reg', 'dm', 'vsim', 'core', 'rom', 'mivi', 'opt', 'polaris', 'gnss',
                           'sdk'}
# Words shown in capitals.
ACRONYMS = {'ims', 'sdk', 'dds', 'dm', 'ota', 'sms', 'sim', 'ui', 'uim', 'wfd', 'cit', 'qr', 'pac', 'sar', 'api'}
# Launcher icon colours (opaque RGB).
COLOURS = [(0x33, 0x66, 0xcc), (0xe5, 0x39, 0x35), (0x43, 0xa0, 0x47), (0xfb, 0x8c, 0x00),
           (0x8e, 0x24, 0xaa), (0x00, 0x89, 0x7b), (0x54, 0x6e, 0x7a), (0xd8, 0x1b, 0x60)]


def packages_of(profile):
    with open(profile, encoding='utf-8') as f:
        return [line.split()[1] for line in f if line.startswith('package ') and len(line.split()) > 1]


def read_table(path):
    """package -> (kinds, default label, zh-CN label or None)."""
    table = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            package, kinds, default, zh = line.split('\t')
            table[package] = (kinds, default, None if zh == '-' else zh)
    return table


def spread(package, n):
    """A stable choice among n for a package (Python's hash() changes per run)."""
    return zlib.crc32(package.encode()) % n


def words_of(part):
    """'callFeatures_setting2' -> ['call', 'Features', 'setting', '2']."""
    out, word = [], ''
    for c in part:
        if c in '_-' or (word and (c.isupper() and word[-1].islower() or c.isdigit() != word[-1].isdigit())):
            if word:
                out.append(word)
            word = '' if c in '_-' else c
        else:
            word += c
    return out + ([word] if word else [])


def cut(word):
    """'wallpapercropper' -> ['wallpaper', 'cropper'] when every piece is a
    known word (the fewest pieces), else [word]."""
    lower = word.lower()
    best = {0: []}
    for end in range(1, len(lower) + 1):
        for start in range(end):
            if start in best and lower[start:end] in VOCABULARY:
                if end not in best or len(best[start]) + 1 < len(best[end]):
                    best[end] = best[start] + [word[start:end]]
    return best.get(len(lower), [word])


def made_up_label(package):
    """A label from the package's name, for an app without a table entry: its
    last part and those before it while they say nothing alone, in words (an
    acronym when short); the Chinese when every word has one."""
    parts = package.split('.')
    take = 1
    while take < len(parts) - 1 and parts[-take].lower() in GENERIC:
        take += 1
    words, shown = [], []
    for w in (w for p in parts[-take:] for w in words_of(p)):
        pieces = cut(w)
        words += pieces
        if len(w) <= 3 and w.isalpha() and w.islower():
            shown.append(w.upper())
        else:
            shown += [c.upper() if c in ACRONYMS else c if c[:1].isupper() else c.capitalize() for c in pieces]
    default = ' '.join(shown)
    zh = None
    if all(w.lower() in WORDS for w in words):
        zh = ''
        for w in words:
            t = WORDS[w.lower()]
            # A space between Chinese and Latin letters, none between Chinese words.
            if zh and (t[0].isascii() or zh[-1].isascii()):
                zh += ' '
            zh += t
    return default, (zh if zh != default else None)


def aapt_text(s):
    """A value for aapt's strings.xml: XML escapes, then aapt's own for quotes
    and a leading @ or ? (frameworks/base/tools/aapt/XMLNode.cpp)."""
    s = s.replace('&', '&amp;').replace('<', '&lt;').replace('>', '&gt;')
    s = s.replace('\\', '\\\\').replace("'", "\\'").replace('"', '\\"')
    return '\\' + s if s[:1] in '@?' else s


def png(size, rgb):
    """A square icon: the colour with a white square in its middle third."""
    rows = []
    for y in range(size):
        row = bytearray(b'\0')   # filter: none
        for x in range(size):
            inner = size // 3 <= x < 2 * size // 3 and size // 3 <= y < 2 * size // 3
            row += bytes((255, 255, 255, 255) if inner else rgb + (255,))
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(b''.join(rows), 9)) + chunk(b'IEND', b''))


def plan(package, table):
    """What the package's APK holds: labels, launcher, icon kind, split."""
    kinds, default, zh = table.get(package, ('-',) + made_up_label(package))
    launcher = 'l' in kinds
    # Launcher apps all have icons (two in three a PNG); of the rest a few do.
    pick = spread(package, 15)
    if launcher:
        icon = 'png' if pick % 3 else 'adaptive'
    else:
        icon = 'png' if pick < 4 else 'adaptive' if pick < 6 else None
    return {'package': package, 'default': default, 'zh': zh, 'launcher': launcher, 'icon': icon,
            'split': 's' in kinds and zh is not None}


def write(path, text, mode='w'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode, **({} if 'b' in mode else {'encoding': 'utf-8'})) as f:
        f.write(text)


def sources(app, folder):
    """The manifest and resources of one app under folder."""
    icon = ' android:icon="@mipmap/ic_launcher"' if app['icon'] else ''
    activity = ('''
        <activity android:name=".Main">
            <intent-filter>
                <action android:name="android.intent.action.MAIN" />
                <category android:name="android.intent.category.LAUNCHER" />
            </intent-filter>
        </activity>''' if app['launcher'] else '')
    write(os.path.join(folder, 'AndroidManifest.xml'), f'''<?xml version="1.0" encoding="utf-8"?>
<manifest xmlns:android="http://schemas.android.com/apk/res/android" package="{app['package']}">
    <uses-sdk android:minSdkVersion="24" android:targetSdkVersion="34" />
    <application android:label="@string/app_name"{icon}>{activity}
    </application>
</manifest>
''')
    res = os.path.join(folder, 'res')

    def strings(values, label):
        write(os.path.join(res, values, 'strings.xml'),
              f'<resources>\n    <string name="app_name">{aapt_text(label)}</string>\n</resources>\n')
    strings('values', app['default'])
    if app['zh']:
        strings('values-zh-rCN', app['zh'])
    rgb = COLOURS[spread(app['package'], len(COLOURS))]
    if app['icon'] == 'png':
        write(os.path.join(res, 'mipmap-mdpi', 'ic_launcher.png'), png(48, rgb), 'wb')
    elif app['icon'] == 'adaptive':
        for sub in ('mipmap-anydpi-v26/ic_launcher.xml', 'drawable/ic_fg.xml'):
            os.makedirs(os.path.dirname(os.path.join(res, sub)), exist_ok=True)
            shutil.copy(os.path.join(ADAPTIVE_SOURCES, sub), os.path.join(res, sub))
        write(os.path.join(res, 'values', 'colors.xml'),
              '<resources>\n    <color name="bg">#FF%02X%02X%02X</color>\n</resources>\n' % rgb)


def run(*command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode:
        raise RuntimeError(' '.join(command) + ' failed:\n' + done.stdout)


def build(app, work, out):
    """One app: sources, one aapt run, zipalign of the APK (and its split)."""
    folder = os.path.join(work, app['package'])
    sources(app, folder)
    unaligned = os.path.join(folder, 'app.apk')
    split = ['--split', 'zh-rCN'] if app['split'] else []
    run('aapt', 'package', '-f', '-M', os.path.join(folder, 'AndroidManifest.xml'), '-S', os.path.join(folder, 'res'),
        '-I', FRAMEWORK, '-F', unaligned, *split)
    run('zipalign', '-f', '4', unaligned, os.path.join(out, app['package'] + '.apk'))
    if app['split']:
        # aapt names a split after its configurations; on a phone it is split_config.zh.apk.
        run('zipalign', '-f', '4', os.path.join(folder, 'app_zh-rCN.apk'),
            os.path.join(out, app['package'] + '@split_config.zh.apk'))
    shutil.rmtree(folder)


def cache_key(packages, table_path):
    h = hashlib.sha256()
    for path in (os.path.abspath(__file__), table_path):
        with open(path, 'rb') as f:
            h.update(f.read())
    h.update('\n'.join(sorted(packages)).encode())
    return h.hexdigest()


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    profile, out = sys.argv[1], os.path.abspath(sys.argv[2])
    table_path = sys.argv[3] if len(sys.argv) == 4 else DEFAULT_TABLE
    packages = packages_of(profile)
    key = cache_key(packages, table_path)
    stamp = os.path.join(out, 'stamp')
    if os.path.exists(stamp) and open(stamp).read().strip() == key:
        os.utime(stamp)   # newer than its sources for make
        return
    table = read_table(table_path)
    # Built beside the old set, which stays whole until the new one is.
    parent = os.path.dirname(out)
    os.makedirs(parent, exist_ok=True)
    fresh = tempfile.mkdtemp(prefix='.apks-', dir=parent)
    work = os.path.join(fresh, '.work')
    apps = [plan(p, table) for p in packages if p != 'android']
    try:
        with ThreadPoolExecutor(WORKERS) as pool:
            for _ in pool.map(lambda app: build(app, work, fresh), apps):
                pass
    except RuntimeError as e:
        shutil.rmtree(fresh, ignore_errors=True)
        sys.exit('make_phone_apks: ' + str(e))
    shutil.rmtree(work, ignore_errors=True)
    if 'android' in packages:
        # The framework's own APK: its label, "Android System", in every language.
        try:
            os.link(FRAMEWORK, os.path.join(fresh, 'android.apk'))
        except OSError:
            shutil.copy(FRAMEWORK, os.path.join(fresh, 'android.apk'))
    write(os.path.join(fresh, 'labels.txt'),
          ''.join('\t'.join((a['package'], a['default'], a['zh'] or '-', a['icon'] or '-',
                              'split' if a['split'] else '-')) + '\n' for a in apps))
    write(os.path.join(fresh, 'stamp'), key + '\n')
    if os.path.exists(out):
        shutil.rmtree(out)
    os.rename(fresh, out)
    shares = {k: sum(1 for a in apps if a['icon'] == k) for k in ('png', 'adaptive')}
    print('%d APKs in %s: %d with a Chinese label, %d language splits, %d PNG and %d adaptive icons' %
          (len(apps) + ('android' in packages), out, sum(1 for a in apps if a['zh']),
           sum(1 for a in apps if a['split']), shares['png'], shares['adaptive']))


if __name__ == '__main__':
    main()
