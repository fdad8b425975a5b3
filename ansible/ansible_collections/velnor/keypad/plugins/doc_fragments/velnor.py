# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""The options every module of the collection shares, documented once."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    # The velnor program (every module).
    DOCUMENTATION = r'''
options:
  executable:
    description: The velnor program; by default C(velnor) on the C(PATH).
    type: path
notes:
  - Needs velnor 7.x (its JSON version 1).
'''

    # Choosing one keypad, as velnor's selection options do.
    SELECTION = r'''
options:
  location:
    description: The keypad at this USB port chain, as in C(1-2.3).
    type: str
  usb_serial:
    description: The keypad with this USB serial string.
    type: str
  path:
    description: The keypad with this device path, as C(velnor list) shows it.
    type: str
  serial:
    description: The keypad whose own serial number is this (trailing blanks ignored).
    type: str
'''
