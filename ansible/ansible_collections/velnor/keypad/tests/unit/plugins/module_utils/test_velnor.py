# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""The judgement of velnor's JSON, on documents that the built velnor printed against simulated
keypads (tests/unit/fixtures, made by ansible/record-fixtures.py)."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os

import pytest

from ansible_collections.velnor.keypad.plugins.module_utils import velnor

FIXTURES = os.path.join(os.path.dirname(__file__), '..', '..', 'fixtures')


def recorded(name):
    with open(os.path.join(FIXTURES, name + '.json')) as fixture:
        return json.load(fixture)


# fixture: (status, changed, [(result, flash, keypad failed)], diffs)
JUDGED = [
    ('restore-updated', 0, True, [('updated', 'new', False)], 1),
    ('restore-up-to-date', 0, False, [('up-to-date', 'new', False)], 0),
    ('restore-dry-run-planned', 0, True, [('planned', 'old', False)], 1),
    ('restore-dry-run-up-to-date', 0, False, [('planned', 'old', False)], 0),
    ('restore-unchanged-after-failure', 6, False, [('unchanged-after-failure', 'old', True)], 0),
    ('restore-failed', 6, True, [('failed', 'unknown', True)], 0),
    ('restore-all-one-failing', 6, True,
     [('updated', 'new', False), ('unchanged-after-failure', 'old', True), ('updated', 'new', False)], 2),
    ('set-updated', 0, True, [('updated', 'new', False)], 1),
    ('set-up-to-date', 0, False, [('up-to-date', 'new', False)], 0),
    ('set-unchanged-after-failure', 6, False, [('unchanged-after-failure', 'old', True)], 0),
]


@pytest.mark.parametrize('name, status, changed, keypads, diffs', JUDGED)
def test_each_result_is_judged_as_changed_failed_and_flash(name, status, changed, keypads, diffs):
    fixture = recorded(name)
    assert fixture['rc'] == status
    judged_changed, failures, judged, diff = velnor.judge(fixture['stdout'])
    assert judged_changed == changed
    assert [(k['result'], k['flash'], k['failed']) for k in judged] == keypads
    assert len(failures) == sum(1 for keypad in keypads if keypad[2])
    assert len(diff) == diffs
    for failure, keypad in zip(failures, [k for k in judged if k['failed']]):
        # velnor's message, status and result, and what the flash holds
        assert keypad['message'] in failure and 'status %d' % keypad['status'] in failure
        assert keypad['result'] in failure and velnor.FLASH_WORDS[keypad['flash']] in failure


def test_a_diff_holds_each_field_before_and_after_per_keypad():
    diff = velnor.judge(recorded('restore-updated')['stdout'])[3][0]
    assert diff['before_header'] == 'keypad 1-2 (before)'
    assert diff['before']['led_level'] == 0 and diff['after']['led_level'] == 7
    assert diff['after']['serial'] == '20261206    '


@pytest.mark.parametrize('result, status, failed', [
    ('updated', 1, True),            # a status that is not 0 fails whatever the word
    ('a-later-word', 0, True),       # a result this collection does not know is never taken for success
])
def test_unknown_results_and_bad_statuses_fail(result, status, failed):
    entry = dict(recorded('restore-updated')['stdout']['keypads'][0], result=result, status=status)
    assert bool(velnor.judge({'keypads': [entry]})[1]) == failed


@pytest.mark.parametrize('name, status', [
    ('restore-refused-file', 7), ('restore-no-keypad', 3), ('restore-several', 4), ('status-all-none', 3)])
def test_failures_before_any_keypad_are_error_documents(name, status):
    fixture = recorded(name)
    assert fixture['rc'] == status and velnor.error_of(fixture['stdout'])['status'] == status


@pytest.mark.parametrize('text, problem', [
    (None, None),  # the recorded velnor
    ('velnor 7.12\n', None),
    ('velnor 8.0\n', 'velnor 8.0 speaks a JSON this collection does not know (it knows velnor 7.x)'),
    ('velnor 6.3\n', 'velnor 6.3 speaks a JSON'),
    ('VelnorUtility\n', "cannot tell velnor's version"),
    ('', "cannot tell velnor's version"),
])
def test_only_known_major_versions_are_taken(text, problem):
    if text is None:
        with open(os.path.join(FIXTURES, 'version.txt')) as fixture:
            text = fixture.read()
    found = velnor.version_problem(text)
    assert (found is None) if problem is None else found.startswith(problem)


@pytest.mark.parametrize('params, words', [
    ({'location': '1-2.3'}, ['--location', '1-2.3']),
    ({'usb_serial': 'KP1', 'all': False}, ['--usb-serial', 'KP1']),
    ({'path': '/dev/hidraw2'}, ['--path', '/dev/hidraw2']),
    ({'serial': '2026 1'}, ['--serial', '2026 1']),
    ({'all': True}, ['--all']),
    ({'location': None, 'all': False}, []),
])
def test_selection_words(params, words):
    assert velnor.selection_words(params) == words


@pytest.mark.parametrize('settings, words', [
    ({'led_level': 7, 'keys': '6'}, ['keys=6', 'led_level=7']),
    ({'buzzer_period': '0x32'}, ['buzzer_period=50']),
    ({'serial': '1001'}, ['serial=1001']),
    ({'code_table': [30, 31, 255]}, ['code_table=1e 1f ff']),
    ({'code_table': '1e, 1f ff'}, ['code_table=1e 1f ff']),
    ({'key.3': '0x1f'}, ['key.3=0x1f']),
    ({'key.3': 30, 'key.4': '2 and @'}, ['key.3=0x1e', 'key.4=2 and @']),
    ({'volume': 3}, ValueError),
    ({'led_level': 'bright'}, ValueError),
    ({'led_level': True}, ValueError),
])
def test_settings_become_fields_of_set(settings, words):
    if words is ValueError:
        with pytest.raises(ValueError):
            velnor.set_words(settings)
    else:
        assert velnor.set_words(settings) == words
