#!/usr/bin/python3
"""Walks a running Tessel through AT-SPI from outside its process, as a screen reader does.

Chooses every device of the device strip and every feature tab of its page through their
accessible actions, and on each page looks at every shown control. Prints what it walked and
every fault, one a line, and exits 1 when there is a fault:
  - a focusable control without a name (a combo box may take its name from its label), or with
    a text id in place of words;
  - an enabled control with no action beyond taking the focus and no value to set;
  - a device or feature tab whose action does not choose it or does not change the page;
  - a check box whose action does not change its state, a slider whose value cannot be set.
Usage: atspi_walk.py PID DEVICES [seconds to wait for the window and its DEVICES devices]
"""
import re
import sys
import time

import pyatspi

POLL = 0.02
WAIT = 10.0

# Roles a user operates; the others (labels, pictures, panes) are read, not used.
CONTROL_ROLES = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
    pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SLIDER,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT,
    pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_COLOR_CHOOSER, pyatspi.ROLE_LIST, pyatspi.ROLE_TABLE,
    pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_MENU_ITEM,
    pyatspi.ROLE_LINK,
}
# Controls operated by typing into them.
TEXT_ROLES = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY, pyatspi.ROLE_PASSWORD_TEXT}
# Lists and tables are walked by their items, scroll bars by their value.
CONTAINER_ROLES = {pyatspi.ROLE_LIST, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_TREE_TABLE}
TEXT_ID = re.compile(r"^[A-Za-z][A-Za-z0-9]*(_[A-Za-z0-9]+)+$")


def wait_for(condition, seconds=WAIT):
    end = time.monotonic() + seconds
    while True:
        try:
            if condition():
                return True
        except Exception:  # the object went away while it was read: look again
            pass
        if time.monotonic() > end:
            return False
        time.sleep(POLL)


def has(obj, state):
    return obj.getState().contains(state)


def shown(obj):
    return has(obj, pyatspi.STATE_SHOWING) and has(obj, pyatspi.STATE_VISIBLE)


def actions(obj):
    try:
        a = obj.queryAction()
    except NotImplementedError:
        return []
    return [a.getName(i) for i in range(a.nActions)]


def do(obj, name):
    a = obj.queryAction()
    for i in range(a.nActions):
        if a.getName(i) == name:
            return a.doAction(i)
    raise LookupError(name)


def value_of(obj):
    try:
        return obj.queryValue()
    except NotImplementedError:
        return None


def label_of(obj):
    for r in obj.getRelationSet():
        if r.getRelationType() == pyatspi.RELATION_LABELLED_BY and r.getNTargets() > 0:
            return r.getTarget(0).name
    return ""


def shown_tree(obj, out=None):
    """Every shown object below obj, depth first."""
    if out is None:
        out = []
    for child in obj:
        if child is None:
            continue
        try:
            if not shown(child):
                continue
        except Exception:
            continue
        out.append(child)
        shown_tree(child, out)
    return out


def describe(obj):
    return "%s '%s'" % (obj.getRoleName(), obj.name)


def signature(objs):
    return sorted((o.getRoleName(), o.name) for o in objs)


class Walk:
    def __init__(self, app):
        self.app = app
        self.faults = []
        self.walked = []
        self.controls = 0
        self.operated = 0

    def fault(self, where, text):
        self.faults.append("%s: %s" % (where, text))

    def frame(self):
        for top in self.app:
            if top is not None and shown(top):
                return top
        return None

    def check_controls(self, where):
        """Names and actions of every shown control of the window as it is now."""
        for obj in shown_tree(self.frame()):
            role = obj.getRole()
            if role not in CONTROL_ROLES or not has(obj, pyatspi.STATE_FOCUSABLE):
                continue
            self.controls += 1
            name = obj.name.strip()
            spoken = name or (label_of(obj) if role == pyatspi.ROLE_COMBO_BOX else "")
            if role == pyatspi.ROLE_COMBO_BOX and label_of(obj):
                spoken = label_of(obj)
            if not spoken:
                self.fault(where, "%s has no name" % describe(obj))
            elif TEXT_ID.match(spoken):
                self.fault(where, "%s is named by the text id %s" % (describe(obj), spoken))
            if not has(obj, pyatspi.STATE_ENABLED) or role in TEXT_ROLES or role in CONTAINER_ROLES:
                continue
            operable = [a for a in actions(obj) if a != "SetFocus"]
            if not operable and value_of(obj) is None:
                self.fault(where, "%s has no action and no value" % describe(obj))

    def check_toggles(self, where, page):
        """A check box's action changes its state (and a second one sets it back)."""
        for obj in shown_tree(page):
            if obj.getRole() != pyatspi.ROLE_CHECK_BOX or not has(obj, pyatspi.STATE_ENABLED):
                continue
            if "Toggle" not in actions(obj) and "Press" not in actions(obj):
                continue  # reported by check_controls
            act = "Toggle" if "Toggle" in actions(obj) else "Press"
            before = has(obj, pyatspi.STATE_CHECKED)
            do(obj, act)
            if not wait_for(lambda: has(obj, pyatspi.STATE_CHECKED) != before):
                self.fault(where, "%s: its action does not change it" % describe(obj))
                continue
            self.operated += 1
            do(obj, act)
            wait_for(lambda: has(obj, pyatspi.STATE_CHECKED) == before)

    def check_radios(self, where, page):
        """A radio button's action chooses it; the one chosen before is chosen again after."""
        radios = [o for o in shown_tree(page) if o.getRole() == pyatspi.ROLE_RADIO_BUTTON and
                  has(o, pyatspi.STATE_ENABLED)]
        chosen = [o for o in radios if has(o, pyatspi.STATE_CHECKED)]
        for obj in radios:
            if has(obj, pyatspi.STATE_CHECKED):
                continue
            operable = [a for a in actions(obj) if a != "SetFocus"]
            if not operable:
                continue  # reported by check_controls
            do(obj, operable[0])
            if not wait_for(lambda: has(obj, pyatspi.STATE_CHECKED)):
                self.fault(where, "%s: its action does not choose it" % describe(obj))
            self.operated += 1
            for old in chosen:
                do(old, [a for a in actions(old) if a != "SetFocus"][0])
                wait_for(lambda: has(old, pyatspi.STATE_CHECKED))

    def check_key_picture(self, where, page):
        """Pressing a key of a device picture opens what it is assigned to (the page changes)."""
        key = next((o for o in shown_tree(page) if o.getRole() == pyatspi.ROLE_PUSH_BUTTON and
                    ", assigned: " in o.name and has(o, pyatspi.STATE_ENABLED)), None)
        if key is None:
            return
        before = signature(shown_tree(page))
        do(key, "Press")
        if not wait_for(lambda: signature(shown_tree(page)) != before):
            self.fault(where, "%s: pressing it shows nothing new" % describe(key))
        self.operated += 1

    def check_sliders(self, where, page):
        """A slider takes a value set through its value interface."""
        for obj in shown_tree(page):
            if obj.getRole() != pyatspi.ROLE_SLIDER or not has(obj, pyatspi.STATE_ENABLED):
                continue
            v = value_of(obj)
            if v is None:
                self.fault(where, "%s has no value" % describe(obj))
                continue
            before = v.currentValue
            want = v.maximumValue if before != v.maximumValue else v.minimumValue
            v.currentValue = want
            if not wait_for(lambda: abs(value_of(obj).currentValue - want) < 0.5):
                self.fault(where, "%s: setting its value does not move it" % describe(obj))
            self.operated += 1
            v.currentValue = before

    def choose(self, where, tab, act, page_of):
        """Chooses a tab by its action: it becomes the chosen one and the page below changes."""
        before = signature(shown_tree(page_of()))
        do(tab, act)
        if not wait_for(lambda: has(tab, pyatspi.STATE_CHECKED) or has(tab, pyatspi.STATE_SELECTED)):
            self.fault(where, "%s: its action does not choose it" % describe(tab))
            return False
        if not wait_for(lambda: signature(shown_tree(page_of())) != before):
            self.fault(where, "%s: its action leaves the page as it was" % describe(tab))
            return False
        # What the page shows next is built and read from the device: let it settle.
        last = [None]

        def steady():
            now = signature(shown_tree(page_of()))
            same = now == last[0]
            last[0] = now
            return same

        wait_for(lambda: steady() and (time.sleep(0.2) or True) and steady())
        return True

    def device_tabs(self):
        """The device strip's choosers (check boxes that say a device and its link)."""
        found = []
        for obj in shown_tree(self.frame()):
            if obj.getRole() == pyatspi.ROLE_CHECK_BOX and ", " in obj.name and obj.parent is not None:
                # A device's box sits first in its own group; its sync box beside it.
                group = [c for c in obj.parent if c is not None]
                if group and group[0] == obj:
                    found.append(obj)
        return found

    def page(self):
        """The device page: the pane beside the device strip."""
        for obj in shown_tree(self.frame()):
            if obj.getRole() == pyatspi.ROLE_PAGE_TAB_LIST:
                return obj.parent
        return self.frame()

    def feature_tabs(self):
        for obj in shown_tree(self.frame()):
            if obj.getRole() == pyatspi.ROLE_PAGE_TAB_LIST:
                return [t for t in obj if t is not None and shown(t) and t.getRole() == pyatspi.ROLE_PAGE_TAB]
        return []

    def run(self):
        self.check_controls("start")
        devices = self.device_tabs()
        names = [d.name for d in devices]
        print("devices: %s" % "; ".join(names))
        for name in names:
            device = next((d for d in self.device_tabs() if d.name == name), None)
            if device is None:
                self.fault(name, "the device's chooser went away")
                continue
            if not has(device, pyatspi.STATE_CHECKED):
                if not self.choose(name, device, "Toggle", self.frame):
                    continue
            tabs = self.feature_tabs()
            if len(tabs) < 2:
                self.fault(name, "%d feature tabs" % len(tabs))
            tab_names = [t.name for t in tabs]
            # Backwards from the last, so that each choice changes the tab.
            for tab_name in reversed(tab_names):
                where = "%s / %s" % (name, tab_name)
                tab = next((t for t in self.feature_tabs() if t.name == tab_name), None)
                if tab is None:
                    self.fault(where, "the tab went away")
                    continue
                if has(tab, pyatspi.STATE_CHECKED):
                    # Away and back, so that its own action is what shows it.
                    other = next(t for t in self.feature_tabs() if t.name != tab_name)
                    self.choose(where, other, "Press", self.page)
                    tab = next(t for t in self.feature_tabs() if t.name == tab_name)
                act = "Toggle" if tab_names.index(tab_name) % 2 else "Press"
                if not self.choose(where, tab, act, self.page):
                    continue
                before = self.controls, self.operated
                self.check_controls(where)
                self.check_toggles(where, self.page())
                self.check_radios(where, self.page())
                self.check_sliders(where, self.page())
                if tab_name == "Buttons":
                    self.check_key_picture(where, self.page())
                self.walked.append("%s: %d controls, %d operated" %
                                   (where, self.controls - before[0], self.operated - before[1]))
        for line in self.walked:
            print("walked " + line)
        print("%d controls on %d pages, %d operated through their actions" %
              (self.controls, len(self.walked), self.operated))
        for f in self.faults:
            print("FAULT " + f)
        return 1 if self.faults else 0


def main():
    pid = int(sys.argv[1])
    devices = int(sys.argv[2])
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60.0
    app = [None]

    def found():
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.get_process_id() == pid:
                app[0] = a
                return any(t is not None and shown(t) for t in a)
        return False

    if not wait_for(found, seconds):
        print("FAULT the application of process %d is not on the accessibility bus" % pid)
        return 2
    walk = Walk(app[0])
    if not wait_for(lambda: len(walk.device_tabs()) >= devices, seconds):
        print("FAULT %d of %d devices in the device strip" % (len(walk.device_tabs()), devices))
        return 2
    return walk.run()


if __name__ == "__main__":
    sys.exit(main())
