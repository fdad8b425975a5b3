# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""The modules' argument handling and results, with velnor's recorded outputs in place of velnor."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes

from ansible_collections.velnor.keypad.plugins.modules import keypad_backup, keypad_info, keypad_settings

FIXTURES = os.path.join(os.path.dirname(__file__), '..', '..', 'fixtures')


class Exited(Exception):
    pass


def recorded(name):
    with open(os.path.join(FIXTURES, name + '.json')) as fixture:
        fixture = json.load(fixture)
    return fixture['rc'], json.dumps(fixture['stdout']), ''


def run_module(mocker, module, args, outputs, version='velnor 7.0\n'):
    """Runs the module with velnor's outputs given by its command word; returns (result, argvs)."""
    argvs = []

    def run_command(self, argv, **kwargs):
        argvs.append(argv)
        if argv[1] == '--version':
            return 0, version, ''
        output = outputs[argv[2]]
        return output(argv) if callable(output) else output

    def leave(self, **result):
        raise Exited(result)

    def fail(self, msg, **result):
        raise Exited(dict(result, failed=True, msg=msg))

    mocker.patch.object(basic.AnsibleModule, 'run_command', run_command)
    mocker.patch.object(basic.AnsibleModule, 'exit_json', leave)
    mocker.patch.object(basic.AnsibleModule, 'fail_json', fail)
    mocker.patch.object(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': dict(args, executable='/v')})))
    with pytest.raises(Exited) as exited:
        module.main()
    return exited.value.args[0], [argv[1:] for argv in argvs if argv[1] != '--version']


# args, velnor's output for its command, the velnor words, changed, failed, message start
SETTINGS = [
    ({'src': 'f.txt', 'location': '1-2'}, {'restore': 'restore-updated'},
     ['--json', 'restore', '--location', '1-2', 'f.txt'], True, False, None),
    ({'src': 'f.txt', '_ansible_check_mode': True}, {'restore': 'restore-dry-run-planned'},
     ['--json', 'restore', '--dry-run', 'f.txt'], True, False, None),
    ({'src': 'f.txt', '_ansible_check_mode': True}, {'restore': 'restore-dry-run-up-to-date'},
     ['--json', 'restore', '--dry-run', 'f.txt'], False, False, None),
    ({'src': '-f.txt', 'all': True, 'timeout': 3, 'force': True}, {'restore': 'restore-all-one-failing'},
     ['--json', 'restore', '--all', '--timeout', '3', '--force', './-f.txt'], True, True, 'keypad 1-2.2: '),
    ({'src': 'bad.txt'}, {'restore': 'restore-refused-file'},
     ['--json', 'restore', 'bad.txt'], None, True, 'refused refused.txt'),
    ({'src': 'f.txt'}, {'restore': 'restore-several'}, ['--json', 'restore', 'f.txt'], None, True, 'several keypads'),
    ({'settings': {'led_level': 5, 'buzzer': 0}, 'flash': False, 'serial': 'S1'}, {'set': 'set-updated'},
     ['--json', 'set', '--serial', 'S1', '--no-flash', 'buzzer=0', 'led_level=5'], True, False, None),
    ({'settings': {'led_level': 5}}, {'set': 'set-up-to-date'}, ['--json', 'set', 'led_level=5'], False, False, None),
    ({'settings': {'led_level': 3}, 'all': True, '_ansible_check_mode': True}, {'set': 'set-dry-run-led-level'},
     ['--json', 'set', '--all', '--dry-run', 'led_level=3'], True, False, None),  # two of the three differ
    ({'settings': {'keys': 5}, 'all': True, '_ansible_check_mode': True}, {'set': 'set-dry-run-keys'},
     ['--json', 'set', '--all', '--dry-run', 'keys=5'], False, False, None),  # all three have 5 keys
    ({'settings': {'volume': 1}}, {}, [], None, True, 'unknown setting volume'),
    ({'src': 'f.txt', 'flash': False}, {}, [], None, True, 'flash=false applies to settings only'),
    ({'src': 'f.txt', 'settings': {'led_level': 1}}, {}, [], None, True, 'parameters are mutually exclusive'),
    ({'src': 'f.txt', 'location': '1-2', 'all': True}, {}, [], None, True, 'parameters are mutually exclusive'),
    ({}, {}, [], None, True, 'one of the following is required'),
]


@pytest.mark.parametrize('args, outputs, words, changed, failed, message', SETTINGS)
def test_keypad_settings(mocker, args, outputs, words, changed, failed, message):
    outputs = dict((command, recorded(name)) for command, name in outputs.items())
    result, argvs = run_module(mocker, keypad_settings, args, outputs)
    assert argvs == ([words] if words else [])
    assert result.get('failed', False) == failed
    if changed is not None:
        assert result['changed'] == changed
    if message is not None:
        assert result['msg'].startswith(message) or message in result['msg']


def test_diff_mode_shows_each_keypad_before_and_after(mocker):
    args = {'settings': {'led_level': 3}, 'all': True, '_ansible_check_mode': True, '_ansible_diff': True}
    result = run_module(mocker, keypad_settings, args, {'set': recorded('set-dry-run-led-level')})[0]
    assert [(d['before_header'], d['before'], d['after']) for d in result['diff']] == [
        ('keypad 1-2.1 (before)', {'led_level': 0}, {'led_level': 3}),
        ('keypad 1-2.3 (before)', {'led_level': 0}, {'led_level': 3})]


@pytest.mark.parametrize('version, message', [
    ('velnor 8.1\n', 'velnor 8.1 speaks a JSON this collection does not know'),
    ('oops\n', "cannot tell velnor's version"),
])
def test_an_unknown_velnor_is_refused_before_it_runs(mocker, version, message):
    result, argvs = run_module(mocker, keypad_info, {}, {}, version=version)
    assert result['failed'] and result['msg'].startswith(message) and argvs == []


@pytest.mark.parametrize('outputs, names', [
    ({'list': 'list-three', 'status': 'status-all-three'}, ['1-2.1', '1-2.2', '1-2.3']),
    ({'list': 'list-none'}, []),
])
def test_keypad_info_sets_facts_and_changes_nothing(mocker, outputs, names):
    outputs = dict((command, recorded(name)) for command, name in outputs.items())
    result = run_module(mocker, keypad_info, {}, outputs)[0]
    assert not result['changed']
    assert [keypad['name'] for keypad in result['ansible_facts']['velnor_keypads']] == names


def test_keypad_backup_replaces_dest_only_when_the_keypad_changed(mocker, tmp_path):
    dest = tmp_path / 'k.txt'
    one, later = 'one\nTaken 1 from A\n', 'one\nTaken 2 from B\n'
    for text, check_mode, changed, held in ((one, False, True, one), (later, False, False, one),
                                            ('two\n', True, True, one), ('two\n', False, True, 'two\n')):
        def backup(argv, text=text):
            with open(argv[-1], 'w') as written:  # velnor writes the file it is given
                written.write(text)
            return recorded('backup')
        args = {'dest': str(dest), 'location': '1-2', '_ansible_check_mode': check_mode}
        result, argvs = run_module(mocker, keypad_backup, args, {'backup': backup})
        assert result['changed'] == changed and dest.read_text() == held
        assert result['backup_warnings'] and argvs[0][:4] == ['--json', 'backup', '--location', '1-2']
