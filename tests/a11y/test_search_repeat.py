"""Five searches in a row in the search window of a program that an assistive client is
reading: none may hang. The catalog (about 200,000 records) holds a damaged archive, and
between searches the client reads result rows and selects one, as a screen reader user moving
through the list would. The client presses Go through the bus, which no modal box holds back.

    test_search_repeat.py --app AMBRYLOG --cli AMBRYLOG-CLI --gencatalog GENCATALOG [--limit 60]
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.environ["AMBRY_ATSPI_DIR"])
import gui  # noqa: E402

TEXTS = ["my documents", "2005", "my documents", "", "my documents"]


def make_catalog(gencatalog, home):
    catalog = os.path.join(home, ".local/share/Brightfen/Ambrylog/Archive")
    os.makedirs(catalog)
    subprocess.run([gencatalog, catalog, "40", "200000"], check=True, stdout=subprocess.DEVNULL)
    # Cut the largest archive in the middle of a line: every search meets a damaged archive.
    paths = [os.path.join(d, f) for d, _, fs in os.walk(catalog) for f in fs if f.endswith(".dat")]
    largest = max(paths, key=os.path.getsize)
    os.truncate(largest, os.path.getsize(largest) // 2 + 3)
    return catalog


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--app", required=True)
    ap.add_argument("--cli", required=True)
    ap.add_argument("--gencatalog", required=True)
    ap.add_argument("--limit", type=float, default=60)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory(prefix="a11y-search-") as home:
        env = {"HOME": home, "XDG_CONFIG_HOME": home + "/.config", "XDG_DATA_HOME": home + "/.local/share"}
        make_catalog(a.gencatalog, home)
        cli_env = dict(os.environ, **env)
        subprocess.run([a.cli, "setting", "set", "S", "MsgThanx", "T"], env=cli_env, check=True)
        counts = {}
        for text in set(TEXTS):
            out = subprocess.run([a.cli, "search", text, "--count"], env=cli_env, capture_output=True, text=True)
            counts[text] = out.stdout.strip()
            assert counts[text].isdigit(), "no count for %r: %s" % (text, out.stderr)

        app = gui.start_app([a.app], env=env, timeout=60)
        failures = []
        try:
            app.window(lambda n: True, role="frame")
            app.menu("Tools|Search Files")
            search = app.window("Search", role="dialog")
            edit = app.find(gui.EDIT_ROLES, "Search", within=search)
            status = None
            for text in TEXTS:
                edit.queryEditableText().setTextContents(text)
                started = time.monotonic()
                gui.fire_action(app.find("push button", "Go", within=search), 0)

                def shown():
                    nonlocal status
                    labels = [status] if status is not None else app.find_all("label", within=search)
                    for label in labels:
                        m = re.match(r"Files:\s*([\d.,\u00a0 ]+)", gui.name(label) or "")
                        if m and re.sub(r"\D", "", m.group(1)) == counts[text]:
                            status = label
                            return True
                    return False
                try:
                    app.wait_until(shown, a.limit, "the count of %r" % text)
                    took = time.monotonic() - started
                    print("%-16r %8s rows in %.2f s" % (text, counts[text], took), flush=True)
                except gui.GuiError:
                    failures.append(text)
                    print("%-16r %8s rows NOT SHOWN within %.0f s" % (text, counts[text], a.limit), flush=True)
                    break
                # A screen reader user reads a few rows and selects one.
                view = app.find("tree", "Results", within=search)
                app.table_rows(view, max_rows=20)
                view.queryTable().addRowSelection(min(3, int(counts[text]) - 1))
        finally:
            app.stop()
    if failures:
        print("FAILED: a search hung: %s" % ", ".join(repr(t) for t in failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
