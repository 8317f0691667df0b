"""Every control of every window that a screen reader meets has a name it can speak: opens the
windows as a user would and lists the push buttons, edits, lists, trees, combo boxes, check boxes
and the like whose accessible name is empty.

    test_names.py --app AMBRYLOG --cli AMBRYLOG-CLI --gencatalog GENCATALOG
"""
import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.environ["AMBRY_ATSPI_DIR"])
import gui  # noqa: E402

NAMED = ("push button", "toggle button", "text", "password text", "list", "tree", "table", "tree table",
         "combo box", "spin button", "check box", "radio button", "slider", "page tab", "progress bar")


def unnamed(app, win):
    return ["%s in %s %r" % (gui.role(n), gui.parent_role(n), gui.name(n.parent))
            for n in app.find_all(NAMED, within=win, showing=None) if not (gui.name(n) or "").strip()]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--app", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--gencatalog", required=True)
    a = ap.parse_args()
    faults = []
    with tempfile.TemporaryDirectory(prefix="a11y-names-") as home:
        env = {"HOME": home, "XDG_CONFIG_HOME": home + "/.config", "XDG_DATA_HOME": home + "/.local/share"}
        catalog = os.path.join(home, ".local/share/Brightfen/Ambrylog/Archive")
        os.makedirs(catalog)
        subprocess.run([a.gencatalog, catalog, "3", "300"], check=True, stdout=subprocess.DEVNULL)
        app = gui.start_app([a.app], env=env, timeout=60)

        def check(title, role, what, close="Escape"):
            win = app.window(title, role=role, timeout=20)
            missing = unnamed(app, win)
            print("%-24s %s" % (what, "; ".join(missing) or "every control named"), flush=True)
            faults.extend("%s: %s" % (what, m) for m in missing)
            if close:
                app.activate(win)
                gui.key(close)
                app.wait_gone(win, timeout=20)
        try:
            check("Welcome", "dialog", "welcome window")
            check(lambda n: True, "frame", "main window", close=None)
            for path, title, what in [("Help|About...", "About", "About window"),
                                      ("Tools|Set Default Read Device...", lambda n: True, "read device window"),
                                      ("Catalog|Open Catalog", "Catalog", "catalog browser")]:
                app.menu(path)
                check(title, "dialog", what)
            app.menu("Tools|Search Files")
            search = app.window("Search", role="dialog", timeout=20)
            app.activate(search)
            gui.key("F3")  # the advanced criteria
            app.wait_until(lambda: app.find_all("check box", "Marks", within=search), 10, "the advanced panel")
            check("Search", "dialog", "search window")
        finally:
            app.stop()
    if faults:
        print("FAILED: controls without a name:\n  " + "\n  ".join(faults))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
