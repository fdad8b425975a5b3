# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""Runs velnor with --json (an argument list, never a shell), reads version 1 of its JSON and
judges each keypad's entry: changed, failed, what its flash holds, and its diff."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import re

# velnor's JSON only grows within a major version; a new major version may rename or remove.
SUPPORTED_MAJORS = (7,)

SELECTORS = ('location', 'usb_serial', 'path', 'serial')

# What a keypad's result says about it: (written to the keypad, failed, what its flash holds).
# "written" counts a keypad that velnor wrote to, also when what it holds then is not known.
RESULTS = {
    'updated': (True, False, 'new'),
    'up-to-date': (False, False, 'new'),
    'planned': (False, False, 'old'),
    'unchanged-after-failure': (False, True, 'old'),
    'failed': (True, True, 'unknown'),
}

FLASH_WORDS = {
    'new': 'its flash holds the new settings',
    'old': 'its flash holds what it held before',
    'unknown': 'what its flash holds is not known',
}

SETTINGS_FIELDS = ('led_level', 'buzzer', 'buzzer_period', 'keypad_table', 'keys', 'serial', 'code_table')


def selection_options(with_all=True):
    """The options that choose keypads, for a module's argument_spec."""
    options = dict((name, dict(type='str')) for name in SELECTORS)
    if with_all:
        options['all'] = dict(type='bool', default=False)
    return options


def common_options():
    return dict(executable=dict(type='path'))


def selection_words(params):
    """velnor's selection options for the module's parameters."""
    words = []
    for name in SELECTORS:
        if params.get(name) is not None:
            words += ['--' + name.replace('_', '-'), params[name]]
    if params.get('all'):
        words.append('--all')
    return words


def as_operand(file_name):
    """A file name that velnor cannot take for an option."""
    return './' + file_name if file_name.startswith('-') else file_name


def parse_version(text):
    """(major, minor) from what `velnor --version` prints, None when it is not a version."""
    match = re.match(r'\s*velnor\s+(\d+)\.(\d+)', text or '')
    if not match:
        return None
    return int(match.group(1)), int(match.group(2))


def version_problem(text):
    """Why this velnor cannot be used, or None."""
    version = parse_version(text)
    if version is None:
        return "cannot tell velnor's version from %r" % (text or '').strip()
    if version[0] not in SUPPORTED_MAJORS:
        return ('velnor %d.%d speaks a JSON this collection does not know (it knows velnor %s); '
                'use the collection made for that velnor' %
                (version[0], version[1], ', '.join('%d.x' % major for major in SUPPORTED_MAJORS)))
    return None


def keypad_name(keypad):
    return keypad.get('location') or keypad.get('usb_serial') or keypad.get('path')


def error_of(document):
    """The failure of an error document, or None."""
    if isinstance(document, dict) and isinstance(document.get('error'), dict):
        return document['error']
    return None


def keypad_diff(name, changes):
    return {
        'before_header': 'keypad %s (before)' % name,
        'after_header': 'keypad %s (after)' % name,
        'before': dict((change['field'], change['from']) for change in changes),
        'after': dict((change['field'], change['to']) for change in changes),
    }


def judge(document):
    """Judges the entries of a restore or set document.

    Returns (changed, failures, keypads, diffs): failures are the messages of the keypads that
    failed, keypads one summary per keypad, diffs one per keypad with changes written or to be."""
    changed = False
    failures = []
    keypads = []
    diffs = []
    for entry in document.get('keypads', []):
        name = keypad_name(entry.get('keypad', {}))
        result = entry.get('result')
        status = entry.get('status')
        changes = entry.get('changes') or []
        written, failed, flash = RESULTS.get(result, (False, True, 'unknown'))
        if result == 'planned':
            # A dry run: a change is predicted exactly when a setting differs.
            written = bool(changes)
        failed = failed or status != 0 or 'error' in entry
        message = entry.get('message') or (entry.get('error') or {}).get('message') or ''
        keypads.append({
            'keypad': entry.get('keypad'),
            'name': name,
            'result': result,
            'status': status,
            'message': message,
            'changes': changes,
            'flash': flash,
            'changed': written,
            'failed': failed,
        })
        changed = changed or written
        if changes and result in ('updated', 'planned'):
            diffs.append(keypad_diff(name, changes))
        if failed:
            why = 'keypad %s: %s (result %s, status %s; %s)' % (name, message, result, status, FLASH_WORDS[flash])
            if result not in RESULTS:
                why += '; velnor gave a result this collection does not know'
            failures.append(why)
    return changed, failures, keypads, diffs


def as_int(value):
    if isinstance(value, bool):
        raise ValueError('not a number: %r' % value)
    if isinstance(value, int):
        return value
    return int(str(value).strip(), 0)


def as_code_table(value):
    if isinstance(value, (list, tuple)):
        codes = [as_int(code) for code in value]
    else:
        codes = [int(code, 16) for code in re.split(r'[\s,]+', str(value).strip()) if code]
    return codes


def key_text(value):
    """A key as velnor set takes it: a code always with 0x (a bare number would be taken for a
    key's name, such as "1"), else the key's name."""
    try:
        return '0x%02x' % as_int(value)
    except ValueError:
        return str(value)


def set_words(settings):
    """FIELD=VALUE words of velnor set; raises ValueError for an unknown field or a bad value."""
    words = []
    for field in sorted(settings):
        value = settings[field]
        if field == 'code_table':
            text = ' '.join('%02x' % code for code in as_code_table(value))
        elif field == 'serial':
            text = str(value)
        elif re.match(r'^key\.\d+$', field):
            text = key_text(value)
        elif field in SETTINGS_FIELDS:
            text = str(as_int(value))
        else:
            raise ValueError('unknown setting %s (known: %s, key.N)' % (field, ', '.join(SETTINGS_FIELDS)))
        words.append('%s=%s' % (field, text))
    return words


class Velnor(object):
    """velnor on the managed host, for one module run."""

    def __init__(self, module):
        self.module = module
        self.executable = module.params.get('executable') or module.get_bin_path('velnor', required=True)
        rc, out, err = module.run_command([self.executable, '--version'])
        if rc != 0:
            module.fail_json(msg='%s --version failed (status %d): %s' % (self.executable, rc, (err or out).strip()))
        problem = version_problem(out)
        if problem:
            module.fail_json(msg=problem, velnor_version=out.strip())
        self.version = out.strip()

    def run(self, words):
        """Runs velnor --json WORDS; returns (status, document). Output that is not JSON fails the module."""
        argv = [self.executable, '--json'] + list(words)
        rc, out, err = self.module.run_command(argv)
        try:
            document = json.loads(out)
        except ValueError:
            self.module.fail_json(msg='velnor printed no JSON (status %d): %s' % (rc, (err or out).strip()), rc=rc, cmd=argv)
        return rc, document

    def fail_on_error(self, rc, document, **extra):
        """Fails the module for an error document (no keypad, several, a refused file, ...)."""
        error = error_of(document)
        if error is not None:
            message = error.get('message')
            if error.get('hint'):
                message += '; ' + error['hint']
            self.module.fail_json(msg=message, rc=rc, status=error.get('status'), hint=error.get('hint'),
                                  velnor_version=self.version, **extra)
