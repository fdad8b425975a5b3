#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: keypad_settings
short_description: Keeps Velnor keypads at the settings of a backup file or at given fields
version_added: "1.0.0"
description:
  - Brings one keypad, chosen by I(location), I(usb_serial), I(path) or I(serial), or every
    attached keypad (I(all=true)) to the settings of a backup file (I(src), with C(velnor restore))
    or to given fields (I(settings), with C(velnor set)).
  - A keypad that holds them already is not written to; the task is C(changed) exactly when a
    keypad was written.
  - A keypad that failed fails the task with velnor's message, status and result, and says
    whether its flash holds what it held before, the new settings, or is not known.
  - Runs C(velnor --json) with an argument list, never through a shell, and refuses a velnor
    whose major version it does not know.
options:
  src:
    description:
      - A backup file on the controller (looked for as M(ansible.builtin.copy) looks for its I(src),
        also in a role's C(files)), which the module's action copies to a temporary folder on
        the managed host and removes after the run; with I(remote_src=true), a file on the managed host.
      - Exactly one of I(src) and I(settings) is required.
    type: path
  remote_src:
    description: I(src) is a file on the managed host.
    type: bool
    default: false
  settings:
    description:
      - "Fields to set, as C(velnor set) takes them, for example C({led_level: 7, keys: 6})."
      - "Known fields: C(led_level), C(buzzer), C(buzzer_period), C(keypad_table) (numbers,
        decimal or C(0x) hexadecimal), C(keys) (5, 6 or 8), C(serial) (text), C(code_table)
        (a list of numbers or a text of hexadecimal bytes) and C(key.N) (a code, or a key's name as C(velnor keys) lists it)."
    type: dict
  all:
    description:
      - Every attached keypad, in parallel. Without a selection and without I(all), the host
        must have exactly one keypad.
    type: bool
    default: false
  flash:
    description:
      - With I(settings), store the values in flash; C(false) leaves them in RAM only, until the
        keypad restarts. A restore (I(src)) always writes flash.
    type: bool
    default: true
  force:
    description: Write every setting, also those the keypad holds already (always C(changed)).
    type: bool
    default: false
  timeout:
    description: With I(src), seconds to wait for a keypad to leave and to come back after its restart.
    type: int
extends_documentation_fragment:
  - velnor.keypad.velnor
  - velnor.keypad.velnor.selection
attributes:
  check_mode:
    support: full
    description:
      - Runs C(velnor restore --dry-run) (with I(src)) or C(velnor set --dry-run) (with I(settings)),
        which send the keypads nothing but status requests. C(changed) is predicted exactly.
  diff_mode:
    support: full
    description: Each field's value before and after, per keypad.
  action:
    support: full
    description: An action copies I(src) from the controller.
seealso:
  - module: velnor.keypad.keypad_info
  - module: velnor.keypad.keypad_backup
author:
  - Velnor keypad team (@velnor)
'''

EXAMPLES = r'''
- name: Bring every keypad to the site's backup file (on the controller)
  velnor.keypad.keypad_settings:
    src: site.txt
    all: true

- name: Set the LED level and the key count of the keypad on port 1-2.3
  velnor.keypad.keypad_settings:
    location: 1-2.3
    settings:
      led_level: 7
      keys: 6

- name: Report drift without writing anything
  velnor.keypad.keypad_settings:
    src: site.txt
    all: true
  check_mode: true
  diff: true
  register: drift
'''

RETURN = r'''
keypads:
  description: One entry per keypad that velnor worked on.
  returned: always
  type: list
  elements: dict
  contains:
    keypad:
      description: The keypad as velnor saw it at the end (path, location, usb_serial, manufacturer, product).
      type: dict
    name:
      description: Its location, else its USB serial, else its path.
      type: str
    result:
      description: velnor's result (updated, up-to-date, planned, unchanged-after-failure, failed).
      type: str
    status:
      description: velnor's exit status for this keypad.
      type: int
    message:
      description: velnor's message for this keypad.
      type: str
    changes:
      description: The fields that differed (written, or to be written), each with C(field), C(from) and C(to).
      type: list
      elements: dict
    flash:
      description: What its flash holds, C(new) (the settings asked for), C(old) (what it held before) or C(unknown).
      type: str
    changed:
      description: Whether this keypad was written (in check mode, whether it would be).
      type: bool
    failed:
      description: Whether this keypad failed.
      type: bool
  sample:
    - name: 1-2
      result: updated
      status: 0
      flash: new
      changed: true
      failed: false
      message: keypad 1-2 holds the settings of site.txt, checked after its restart
      changes: [{field: led_level, from: 0, to: 7}]
      keypad: {path: /dev/hidraw3, location: 1-2, usb_serial: null, manufacturer: Velnor, product: Velnor Keypad}
status:
  description: velnor's exit status for a failure before any keypad was involved (3 no keypad, 4 several, 7 a refused file).
  returned: failure
  type: int
hint:
  description: velnor's next step for such a failure.
  returned: failure
  type: str
velnor_version:
  description: What C(velnor --version) printed.
  returned: always
  type: str
  sample: velnor 7.0
'''

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.velnor.keypad.plugins.module_utils.velnor import (
    SELECTORS, Velnor, as_operand, common_options, judge, selection_options, selection_words, set_words)


def settings_document(velnor, params, module):
    """velnor set; in check mode its dry run, which reads the keypads' status and sends nothing else."""
    try:
        words = set_words(params['settings'])
    except ValueError as error:
        module.fail_json(msg=str(error))
    extra = [] if params['flash'] else ['--no-flash']
    if params['force']:
        extra.append('--force')
    if module.check_mode:
        extra.append('--dry-run')
    return velnor.run(['set'] + selection_words(params) + extra + words)


def main():
    options = dict(
        src=dict(type='path'),
        remote_src=dict(type='bool', default=False),
        settings=dict(type='dict'),
        flash=dict(type='bool', default=True),
        force=dict(type='bool', default=False),
        timeout=dict(type='int'),
    )
    options.update(selection_options())
    options.update(common_options())
    module = AnsibleModule(
        argument_spec=options,
        mutually_exclusive=[('src', 'settings'), SELECTORS + ('all',)],
        required_one_of=[('src', 'settings')],
        supports_check_mode=True,
    )
    params = module.params
    if params['src'] is not None and not params['flash']:
        module.fail_json(msg='flash=false applies to settings only: a restore always writes flash')
    velnor = Velnor(module)
    if params['src'] is not None:
        words = ['restore'] + selection_words(params)
        if params['timeout'] is not None:
            words += ['--timeout', str(params['timeout'])]
        if params['force']:
            words.append('--force')
        if module.check_mode:
            words.append('--dry-run')
        rc, document = velnor.run(words + [as_operand(params['src'])])
    else:
        rc, document = settings_document(velnor, params, module)
    velnor.fail_on_error(rc, document)
    changed, failures, keypads, diffs = judge(document)
    if module.check_mode and params['force'] and keypads:
        changed = True  # force writes every keypad chosen
    result = dict(changed=changed, keypads=keypads, velnor_version=velnor.version, rc=rc)
    if module._diff:
        result['diff'] = diffs
    if failures:
        module.fail_json(msg='; '.join(failures), **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
