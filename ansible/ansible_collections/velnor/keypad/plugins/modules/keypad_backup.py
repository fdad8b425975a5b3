#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: keypad_backup
short_description: Writes a Velnor keypad's settings as a backup file on the managed host
version_added: "1.0.0"
description:
  - Reads one keypad, chosen by I(location), I(usb_serial), I(path) or I(serial) (or the only
    one attached), and writes its settings as a backup file (C(velnor backup)) to I(dest) on
    the managed host; M(ansible.builtin.fetch) brings it to the controller.
  - C(changed) when I(dest) was created or the settings in it changed; a keypad whose settings
    are those of I(dest) leaves it as it is (also its last line, which says when it was taken).
  - Warnings of velnor (a setting that a backup file cannot carry exactly) are returned and shown.
options:
  dest:
    description: The backup file to write on the managed host.
    type: path
    required: true
extends_documentation_fragment:
  - velnor.keypad.velnor
  - velnor.keypad.velnor.selection
attributes:
  check_mode:
    support: full
    description: Reads the keypad and says whether I(dest) would change; writes nothing.
  diff_mode:
    support: none
    description: No diff is shown.
seealso:
  - module: velnor.keypad.keypad_info
  - module: velnor.keypad.keypad_settings
author:
  - Velnor keypad team (@velnor)
'''

EXAMPLES = r'''
- name: Back up every keypad of the host before a firmware campaign
  velnor.keypad.keypad_backup:
    location: "{{ item.keypad.location }}"
    dest: "/var/backups/velnor/{{ item.name }}.txt"
  loop: "{{ velnor_keypads }}"

- name: Bring the backups to the controller
  ansible.builtin.fetch:
    src: "/var/backups/velnor/{{ item.name }}.txt"
    dest: "backups/{{ inventory_hostname }}/"
    flat: true
  loop: "{{ velnor_keypads }}"
'''

RETURN = r'''
dest:
  description: The backup file.
  returned: always
  type: str
  sample: /var/backups/velnor/1-2.1.txt
keypad:
  description: The keypad read (path, location, usb_serial, manufacturer, product).
  returned: success
  type: dict
backup_warnings:
  description: What the backup file cannot carry exactly, in velnor's words.
  returned: success
  type: list
  elements: str
velnor_version:
  description: What C(velnor --version) printed.
  returned: always
  type: str
  sample: velnor 7.0
'''

import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.velnor.keypad.plugins.module_utils.velnor import (
    SELECTORS, Velnor, as_operand, common_options, selection_options, selection_words)


def settings_lines(name):
    """The lines of a backup file but the last one, which says when and from where it was taken."""
    with open(name, 'rb') as backup:
        return [line for line in backup.read().splitlines() if not line.startswith(b'Taken ')]


def same_content(first, second):
    return os.path.exists(second) and settings_lines(first) == settings_lines(second)


def main():
    options = dict(dest=dict(type='path', required=True))
    options.update(selection_options(with_all=False))
    options.update(common_options())
    module = AnsibleModule(argument_spec=options, mutually_exclusive=[SELECTORS], supports_check_mode=True)
    dest = module.params['dest']
    velnor = Velnor(module)
    folder = tempfile.mkdtemp(prefix='velnor-backup-')
    try:
        written = os.path.join(folder, 'keypad.txt')
        rc, document = velnor.run(['backup'] + selection_words(module.params) + [as_operand(written)])
        velnor.fail_on_error(rc, document, dest=dest)
        entry = document['keypads'][0]
        if 'error' in entry or not os.path.exists(written):
            module.fail_json(msg=(entry.get('error') or {}).get('message') or entry.get('message') or 'no backup written',
                             rc=rc, status=entry.get('status'), dest=dest, velnor_version=velnor.version)
        changed = not same_content(written, dest)
        if changed and not module.check_mode:
            module.atomic_move(written, dest)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for warning in entry.get('warnings', []):
        module.warn('keypad %s: %s' % (entry['keypad'].get('location') or entry['keypad']['path'], warning))
    module.exit_json(changed=changed, dest=dest, keypad=entry['keypad'], backup_warnings=entry.get('warnings', []),
                     velnor_version=velnor.version)


if __name__ == '__main__':
    main()
