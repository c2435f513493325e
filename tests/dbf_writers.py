"""dbf files written by independent programs, and checks of what drift made of them.

    dbf_writers.py write          writes the files into the current directory
    dbf_writers.py imported CFG   compares every table that CFG loaded with its dbf file
    dbf_writers.py exported A B   compares the records of dbf file B with those of A

Every file holds code page 866 text (Cyrillic) and names that are SQL words (ORDER, DESC,
GROUP, LEVEL); python-dbf's file blank values, python-dbf's and LibreOffice's memos.  Values are read back with
dbfread; the database is read with sqlite3.  Prints "same N" (N values compared) or the
first difference, and exits 1 on a difference.
"""
import datetime
import decimal
import os
import sqlite3
import subprocess
import sys

import dbfread

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

    # shapelib's command-line tools; dbfadd stores the argument bytes as they are.
    subprocess.run(['/usr/bin/dbfcreate', 'shape.dbf', '-s', 'NAME', '12', '-n', 'LEVEL', '6', '0',
                    '-n', 'SUM', '10', '2'], check=True)
    for row in (['Ёлка', '7', '-3.25'], ['Zurich', '-12345', '1234567.89']):
        subprocess.run([b'/usr/bin/dbfadd', b'shape.dbf'] + [v.encode('cp866') for v in row],
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


def records(name):
    """(field types, live records as dicts of raw bytes and texts) of a dbf file."""
    raw = dbfread.DBF(name, raw=True, encoding='cp866')
    text = dbfread.DBF(name, encoding='cp866', char_decode_errors='strict')
    types = {f.name: f.type for f in raw.fields}
    return types, list(zip(raw, text))


def number(raw):
    raw = raw.strip()
    return None if not raw else decimal.Decimal(raw.decode('ascii'))


def expected_imported(ftype, raw, text):
    """What indrift stores for a field, in the form sqlite3 returns it."""
    if ftype == 'C':
        value = raw.decode('cp866').rstrip(' ')
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
    sections, current = [], None
    for line in open(config, encoding='latin-1'):
        line = line.strip()
        if line.startswith('%BEGIN_SECTION'):
            current = {'pairs': []}
        elif line.startswith('%TABLE_NAME='):
            current['table'] = line.split('=', 1)[1]
        elif line.startswith('%DBF_NAME='):
            current['dbf'] = line.split('=', 1)[1]
        elif line == '%END_SECTION':
            sections.append(current)
        elif current is not None and '=' in line and not line.startswith('%'):
            current['pairs'].append(line.split('=', 1))
    db = sqlite3.connect('shop.db')
    count = 0
    for s in sections:
        types, recs = records(s['dbf'])
        columns = ', '.join(column for column, _ in s['pairs'])
        rows = db.execute('SELECT %s FROM %s ORDER BY rowid' % (columns, s['table'])).fetchall()
        if len(rows) != len(recs):
            return fail('%s: %d rows, %d records' % (s['table'], len(rows), len(recs)))
        for n, (row, (raw, text)) in enumerate(zip(rows, recs), 1):
            for got, (column, field) in zip(row, s['pairs']):
                want = expected_imported(types[field], raw[field], text[field])
                if types[field] in 'NF' and got is not None:
                    got = decimal.Decimal(str(got))
                if got != want:
                    return fail('%s row %d %s: %r, expected %r' % (s['table'], n, column, got, want))
                count += 1
    print('same', count)
    return 0


def exported(original, back):
    types, recs = records(original)
    back_types, back_recs = records(back)
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
                want, got = raw[name].decode('cp866').rstrip(' '), braw[field].decode('cp866').rstrip(' ')
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
    elif sys.argv[1] == 'imported':
        sys.exit(imported(sys.argv[2]))
    else:
        sys.exit(exported(sys.argv[2], sys.argv[3]))
