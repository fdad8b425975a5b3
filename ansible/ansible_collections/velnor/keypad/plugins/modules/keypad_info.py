#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: keypad_info
short_description: The Velnor keypads of a host, with their settings, as facts
version_added: "1.0.0"
description:
  - Lists the keypads attached to the host (C(velnor list)) and reads the settings of each
    (C(velnor status --all)); sets the fact C(velnor_keypads). Never changes anything.
  - A host without keypads has an empty list.
options: {}
extends_documentation_fragment:
  - velnor.keypad.velnor
attributes:
  check_mode:
    support: full
    description: Reads only, also outside check mode.
  diff_mode:
    support: none
    description: Nothing changes, so there is no diff.
  facts:
    support: full
    description: Sets C(velnor_keypads).
seealso:
  - module: velnor.keypad.keypad_settings
author:
  - Velnor keypad team (@velnor)
'''

EXAMPLES = r'''
- name: Read the keypads
  velnor.keypad.keypad_info:

- name: Show the LED level of each
  ansible.builtin.debug:
    msg: "{{ item.name }}: {{ item.settings.led_level }}"
  loop: "{{ velnor_keypads }}"
'''

RETURN = r'''
ansible_facts:
  description: The facts set.
  returned: always
  type: dict
  contains:
    velnor_keypads:
      description:
        - One entry per attached keypad, in enumeration order, with C(keypad) (path, location,
          usb_serial, manufacturer, product), C(name) (its location, else its USB serial, else
          its path), C(status), C(message), and C(settings) (led_level, buzzer, buzzer_period,
          keypad_table, key_count_option, keys, code_table, firmware, serial) or, for a keypad
          that could not be read, C(error) (status, message, hint).
      type: list
      elements: dict
      sample:
        - name: 1-2.1
          status: 0
          message: null
          keypad: {path: /dev/hidraw0, location: 1-2.1, usb_serial: KP0001, manufacturer: Velnor, product: Velnor Keypad}
          settings: {led_level: 7, buzzer: 1, buzzer_period: 50, keypad_table: 1, key_count_option: 1, keys: 6,
                     code_table: [30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 44, 41, 42, 43, 88, 0, 0, 0, 0],
                     firmware: V6.12, serial: "20261206    "}
velnor_version:
  description: What C(velnor --version) printed.
  returned: always
  type: str
  sample: velnor 7.0
'''

from ansible.module_utils.basic import AnsibleModule

from ansible_collections.velnor.keypad.plugins.module_utils.velnor import Velnor, common_options, keypad_name

NO_KEYPAD = 3


def main():
    module = AnsibleModule(argument_spec=common_options(), supports_check_mode=True)
    velnor = Velnor(module)
    rc, listed = velnor.run(['list'])
    velnor.fail_on_error(rc, listed)
    keypads = []
    if listed.get('keypads'):
        rc, document = velnor.run(['status', '--all'])
        if not (rc == NO_KEYPAD and 'error' in document):  # all gone between the two runs
            velnor.fail_on_error(rc, document)
            for entry in document.get('keypads', []):
                keypads.append(dict(entry, name=keypad_name(entry['keypad'])))
    module.exit_json(changed=False, ansible_facts=dict(velnor_keypads=keypads), velnor_version=velnor.version)


if __name__ == '__main__':
    main()
