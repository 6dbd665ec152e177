"""A console driven in a tmux pane, as an operator types at a terminal: send a line, wait
until the pane shows a text. A test case mixes it in and sets tmux_server (the server's
socket option, ['-L', name] or ['-S', path]) and session."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_console import MAIN_MENU, PROMPT  # noqa: E402


class TmuxPane:

    WAIT = 10   # seconds for a text to appear

    def tmux(self, *args, check=True):
        return subprocess.run(['tmux', *self.tmux_server, *args], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=10, check=check).stdout

    def pane(self):
        return self.tmux('capture-pane', '-p', '-t', self.session, check=False)

    def type_line(self, text):
        self.tmux('send-keys', '-t', self.session, '-l', text)
        self.tmux('send-keys', '-t', self.session, 'Enter')

    def pane_gone(self):
        """Why the pane can show nothing more, or None; a case overrides it."""
        return None

    def wait_for(self, *texts):
        """The pane once it shows every text; fails after WAIT seconds."""
        deadline = time.monotonic() + self.WAIT
        while True:
            pane = self.pane()
            if all(t in pane for t in texts):
                return pane
            gone = self.pane_gone()
            if gone:
                self.fail(f'{gone}; the pane:\n{pane}')
            if time.monotonic() > deadline:
                self.fail(f'{texts} not shown within {self.WAIT} s; the pane:\n{pane}')
            time.sleep(0.1)

    def assertMainMenuShown(self):
        """The pane holds the main menu's screen and the prompt, and nothing else."""
        pane = self.wait_for('MAIN MENU', PROMPT).rstrip('\n').splitlines()
        self.assertEqual(len(pane), len(MAIN_MENU) + 1, pane)
        for line, want in zip(pane, MAIN_MENU):
            if isinstance(want, str):
                self.assertEqual(line, want)
            else:
                self.assertRegex(line, want)
        self.assertEqual(pane[-1], PROMPT)
