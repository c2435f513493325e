"""dbf files written by independent programs, and checks of what drift made of them.

    dbf_writers.py write          writes the files into the current directory
    dbf_writers.py write-code-pages   writes files in other code pages, with lower-case
                                  field names, and one of 250 fields
    dbf_writers.py imported CFG   compares every table that CFG loaded with its dbf file
    dbf_writers.py exported A B   compares the records of dbf file B with those of A

Every file holds text in the code page its header names (code page 866 Cyrillic, and
Windows-1252 where shapelib records it) and names that are SQL words (ORDER, DESC, GROUP,
LEVEL); python-dbf's file blank values, python-dbf's and LibreOffice's memos.  Values are
read back with dbfread in each file's own code page; the database is read with sqlite3.  Prints "same N" (N values compared) or the
first difference, and exits 1 on a difference.
"""
import datetime
import decimal
import os
import sqlite3
import subprocess
import sys

import dbfread
import dbfread.codepages

CYRILLIC_10 = 'Щукин Ёжик'          # ten characters, twenty bytes of UTF-8


def write():
    import dbf
    t = dbf.Table('pydbf.dbf', 'ORDER N(5,0); DESC C(10); GROUP D; LEVEL L; '
                  'AMOUNT N(12,3); NOTE M', codepage='cp866', dbf_type='db3')
    t.open(dbf.READ_WRITE)
    t.append((1, CYRILLIC_10, datetime.date(1999, 12, 31), True, -1234567.125,
              'заметка\r\nвторая строка'))
    t.append((-9999, 'a', datetime.date(2024, 2, 29), False, 0.5, 'x' * 3000))
    t.append((None, None, None, None, None, None))
    t.append((42, ' lead', datetime.date(1900, 1, 1), True, 99999999.999, ''))
    t.close()

    # GDAL: a CSV file typed by ogr2ogr's detection, written in code page 866.  (No
    # empty values: GDAL marks a missing number with asterisks and a missing date with
    # zeros, which indrift refuses as no number and no date.)
    with open('gdal.csv', 'w', encoding='utf-8') as f:
        f.write('CITY,ORDER,RATE,FOUNDED\n'
                '"Москва, столица",1,12.75,1147-04-04\n'
                'Тверь,-20,-0.5,1135-01-01\n')
    subprocess.run(['/usr/bin/ogr2ogr', '-f', 'ESRI Shapefile', '-lco', 'ENCODING=CP866',
                    '-oo', 'AUTODETECT_TYPE=YES', 'gdal.dbf', 'gdal.csv'], check=True)
    os.remove('gdal.csv')

    # shapelib's command-line tools; dbfcreate records code page 1252 in the header,
    # and dbfadd stores the argument bytes as they are.
    subprocess.run(['/usr/bin/dbfcreate', 'shape.dbf', '-s', 'NAME', '12', '-n', 'LEVEL', '6', '0',
                    '-n', 'SUM', '10', '2'], check=True)
    for row in (['Zürich Œuvre', '7', '-3.25'], ['Ærø€', '-12345', '1234567.89']):
        subprocess.run([b'/usr/bin/dbfadd', b'shape.dbf'] + [v.encode('cp1252') for v in row],
                       check=True)

    # LibreOffice Calc converting a CSV file (encoding 30 is its code page 866).
    # Lower-case names, which it stores upper-cased; a text longer than 254 characters
    # makes the column a memo.
    with open('calc.csv', 'w', encoding='utf-8') as f:
        f.write('order,desc,qty,note\n'
                'Борис,Ярославль,3,%s\n'
                'Глеб,Суздаль,-4,короткая\n' % ('Длинная заметка ' * 20).strip())
    # Its own profile in a scratch home, so no user setting changes the result.
    env = dict(os.environ, HOME=os.path.join(os.getcwd(), 'home'))
    subprocess.run(['/usr/bin/soffice', '--headless', '--infilter=CSV:44,34,76,1',
                    '--convert-to', 'dbf:dBase:30', '--outdir', '.', 'calc.csv'],
                   check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove('calc.csv')
    subprocess.run(['rm', '-rf', 'home'], check=True)


def encoding_of(name):
    """The code page of a dbf file: its language-driver byte as dbfread reads it; for a
    byte of 0 (or one dbfread does not know), the .cpg file, else code page 866."""
    with open(name, 'rb') as f:
        ldid = f.read(30)[29]
    if ldid in dbfread.codepages.codepages and ldid != 0:
        return dbfread.codepages.codepages[ldid][0]
    # GDAL names the code page in a .cpg file beside the dbf file instead.
    cpg = os.path.splitext(name)[0] + '.cpg'
    if os.path.exists(cpg):
        return open(cpg).read().strip().lower()
    return 'cp866'



def write_code_pages():
    import dbf
    # GDAL: lower-case names as the CSV header has them, text in the code page its
    # ENCODING names (recorded in a .cpg file beside the dbf file, byte 29 left 0).
    texts = {'CP1251': ('Щука и ёж', 'Тверь'), 'CP1252': ('Straße Œuvre', 'Zürich'),
             'CP437': ('Ñandú ½ ░', 'Ça'), 'CP1253': ('Αθήνα', 'Ωμέγα')}
    for encoding, (first, second) in texts.items():
        with open('g.csv', 'w', encoding='utf-8') as f:
            f.write('atlas_name,Qty\n"%s",1\n%s,-20\n' % (first, second))
        subprocess.run(['/usr/bin/ogr2ogr', '-f', 'ESRI Shapefile', '-lco', 'ENCODING=' + encoding,
                        '-oo', 'AUTODETECT_TYPE=YES', 'gdal_%s.dbf' % encoding.lower(), 'g.csv'],
                       check=True)
        os.remove('g.csv')

    # shapelib: lower-case and mixed-case names, Windows-1252 text.
    subprocess.run(['/usr/bin/dbfcreate', 'shape_lower.dbf', '-s', 'name', '12', '-n', 'Level', '6', '0'],
                   check=True)
    for row in (['Ærø €', '7'], ['naïve', '-3']):
        subprocess.run([b'/usr/bin/dbfadd', b'shape_lower.dbf'] + [v.encode('cp1252') for v in row],
                       check=True)

    # python-dbf: Windows-1251 with a memo, and a file of 250 fields.
    t = dbf.Table('pydbf_1251.dbf', 'NAME C(12); NOTE M', codepage='cp1251', dbf_type='db3')
    t.open(dbf.READ_WRITE)
    t.append(('Съешь ещё', 'этих мягких французских булок'))
    t.append(('№ «ёлка»', 'да выпей же чаю'))
    t.close()
    layout = '; '.join('F%03d C(3)' % i for i in range(250))
    t = dbf.Table('wide.dbf', layout, codepage='cp866', dbf_type='db3')
    t.open(dbf.READ_WRITE)
    for r in range(3):
        t.append(tuple('%s%d' % ('абв'[i % 3], (i + r) % 100) for i in range(250)))
    t.close()

    # LibreOffice Calc, Windows-1252 (its encoding 1).
    with open('calc_1252.csv', 'w', encoding='utf-8') as f:
        f.write('word,qty\nCrème brûlée,3\nÆble,-4\n')
    env = dict(os.environ, HOME=os.path.join(os.getcwd(), 'home'))
    subprocess.run(['/usr/bin/soffice', '--headless', '--infilter=CSV:44,34,76,1',
                    '--convert-to', 'dbf:dBase:1', '--outdir', '.', 'calc_1252.csv'],
                   check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove('calc_1252.csv')
    subprocess.run(['rm', '-rf', 'home'], check=True)


def records(name, encoding=None):
    """(field types, live records as dicts of raw bytes and texts, encoding) of a dbf file;
    the encoding is the file's own unless given."""
    encoding = encoding or encoding_of(name)
    raw = dbfread.DBF(name, raw=True, encoding=encoding)
    text = dbfread.DBF(name, encoding=encoding, char_decode_errors='strict')
    types = {f.name: f.type for f in raw.fields}
    return types, list(zip(raw, text)), encoding


def number(raw):
    raw = raw.strip()
    return None if not raw else decimal.Decimal(raw.decode('ascii'))


def expected_imported(ftype, raw, text, encoding):
    """What indrift stores for a field, in the form sqlite3 returns it."""
    if ftype == 'C':
        value = raw.decode(encoding).rstrip(' ')
        return value or None
    if ftype in 'NF':
        return number(raw)
    if ftype == 'D':
        return None if text is None else text.strftime('%Y-%m-%d 00:00:00')
    if ftype == 'L':
        return 1 if raw in (b'T', b't', b'Y', b'y') else 0
    if ftype == 'M':
        return text or None
    raise ValueError(ftype)


def imported(config):
    sections, current, codepage = [], None, None
    for line in open(config, encoding='latin-1'):
        line = line.strip()
        if line.startswith('%BEGIN_SECTION'):
            current = {'pairs': []}
        elif line.startswith('%TABLE_NAME='):
            current['table'] = line.split('=', 1)[1]
        elif line.startswith('%DBF_NAME='):
            current['dbf'] = line.split('=', 1)[1]
        elif line.startswith('%CODEPAGE='):
            value = line.split('=', 1)[1]
            codepage = None if value.upper() == 'FILE' else 'cp' + value
        elif line == '%END_SECTION':
            current['codepage'] = codepage
            sections.append(current)
        elif current is not None and '=' in line and not line.startswith('%'):
            current['pairs'].append(line.split('=', 1))
    db = sqlite3.connect('shop.db')
    count = 0
    for s in sections:
        types, recs, encoding = records(s['dbf'], s['codepage'])
        columns = ', '.join(column for column, _ in s['pairs'])
        rows = db.execute('SELECT %s FROM %s ORDER BY rowid' % (columns, s['table'])).fetchall()
        if len(rows) != len(recs):
            return fail('%s: %d rows, %d records' % (s['table'], len(rows), len(recs)))
        for n, (row, (raw, text)) in enumerate(zip(rows, recs), 1):
            for got, (column, field) in zip(row, s['pairs']):
                want = expected_imported(types[field], raw[field], text[field], encoding)
                if types[field] in 'NF' and got is not None:
                    got = decimal.Decimal(str(got))
                if got != want:
                    return fail('%s row %d %s: %r, expected %r' % (s['table'], n, column, got, want))
                count += 1
    print('same', count)
    return 0


def exported(original, back):
    types, recs, encoding = records(original)
    back_types, back_recs, back_encoding = records(back)
    if len(recs) != len(back_recs):
        return fail('%d records, expected %d' % (len(back_recs), len(recs)))
    count = 0
    for n, ((raw, text), (braw, btext)) in enumerate(zip(recs, back_recs), 1):
        for name, ftype in types.items():
            field = name if name in back_types else name + '_'
            if ftype in 'NF':
                want, got = number(raw[name]), number(braw[field])
            elif ftype == 'L':
                # Imported as 1 or 0 (blank as 0), exported as T or F.
                want, got = raw[name] in (b'T', b't', b'Y', b'y'), btext[field]
            elif ftype == 'C':
                want = raw[name].decode(encoding).rstrip(' ')
                got = braw[field].decode(back_encoding).rstrip(' ')
            elif ftype == 'M':
                # An empty memo is imported as NULL and comes back as a blank field.
                want, got = text[name] or None, btext[field] or None
            else:
                want, got = text[name], btext[field]
            if got != want:
                return fail('record %d %s: %r, expected %r' % (n, name, got, want))
            count += 1
    print('same', count)
    return 0


def fail(message):
    print('differ', message)
    return 1


if __name__ == '__main__':
    if sys.argv[1] == 'write':
        write()
    elif sys.argv[1] == 'write-code-pages':
        write_code_pages()
    elif sys.argv[1] == 'imported':
        sys.exit(imported(sys.argv[2]))
    else:
        sys.exit(exported(sys.argv[2], sys.argv[3]))
