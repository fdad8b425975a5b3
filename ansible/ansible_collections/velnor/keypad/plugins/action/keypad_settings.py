# -*- coding: utf-8 -*-
# Copyright: Velnor keypad team
# GNU General Public License v3.0+ (see https://www.gnu.org/licenses/gpl-3.0.txt)
"""keypad_settings with a backup file on the controller: copies it to a temporary folder on the
managed host, runs the module on that copy and removes it again."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import os

from ansible.errors import AnsibleError
from ansible.module_utils.common.text.converters import to_text
from ansible.plugins.action import ActionBase


class ActionModule(ActionBase):

    TRANSFERS_FILES = True

    def run(self, tmp=None, task_vars=None):
        result = super(ActionModule, self).run(tmp, task_vars)
        del tmp
        args = dict(self._task.args)
        try:
            if args.get('src') is not None and not args.get('remote_src'):
                local = self._find_needle('files', args['src'])
                remote = self._connection._shell.join_path(self._connection._shell.tmpdir, os.path.basename(local))
                self._transfer_file(local, remote)
                self._fixup_perms2((self._connection._shell.tmpdir, remote))
                args.update(src=remote, remote_src=True)
            result.update(self._execute_module(module_name='velnor.keypad.keypad_settings', module_args=args,
                                               task_vars=task_vars))
        except AnsibleError as error:
            result.update(failed=True, msg=to_text(error))
        finally:
            self._remove_tmp_path(self._connection._shell.tmpdir)
        return result
