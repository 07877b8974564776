"""End-to-end cases of texts against their controls, as the driver's `fit` measures
them: the demo's texts all fit; texts that a user sees cut are named, whole. Mixed into
the suite of run_e2e.py."""

import re
from pathlib import Path

from e2e_support import check, check_equal, unescape

FIT_LINE = re.compile(r"fit id=(-?\d+) class=(\S+) fits=(yes|no) needed=(\d+)x(\d+) "
                      r"available=(\d+)x(\d+) text=(.*)")
# The controls with a text, in the dialogs' order: the install dialog's buttons and
# description; the finish dialog's text, button and check boxes.
MEASURED = {"install": [1001, 1007, 2, 1002], "finish": [1002, 1, 1004, 1005]}
DESCRIPTION = 1002

# A folder as long as a user's under AppData, with a space before its last word: the
# finish text wraps there, and its second line is out of sight.
LONG_APP = "D:\\Users\\kesta-user\\AppData\\Roaming\\Wine 小工具"

# Packages whose texts do not fit: what, variables, the (dialog, id) of every cut text.
CUT_TEXTS = [
    ("a long folder in the finish texts, one long word as the description",
     [("{App}", LONG_APP), ("{AppVerName}", "x" * 100),
      ("{FinishTip}", "软件已经成功安装到了 {App}"),
      ("{LaunchTip}", "立即启动 {App}\\bin\\launch.exe")],
     {("install", DESCRIPTION), ("finish", DESCRIPTION), ("finish", 1004)}),
    ("a description of four lines, short finish texts",
     [("{App}", "D:\\Kesta"), ("{AppVerName}", "塔文诺的说明文字" * 15),
      ("{FinishTip}", "已安装到 {App}"), ("{LaunchTip}", "立即启动")],
     {("install", DESCRIPTION)}),
]


def fit_rows(lines):
    """The driver's fit answer by control id, in its order."""
    rows = {}
    for line in lines:
        m = FIT_LINE.fullmatch(line)
        check(m, f"unexpected fit answer {line!r}")
        rows[int(m[1])] = dict(fits=m[3] == "yes", needed=(int(m[4]), int(m[5])),
                               available=(int(m[6]), int(m[7])), text=unescape(m[8]))
    return rows


class FitCases:
    CASES = ["fit_demo", "fit_cut_texts"]

    def check_fit(self, kind, cut):
        """The current dialog's fit answer: every control with a text, each with its
        whole text; exactly the cut ones do not fit; the description is measured in
        its control's size as laid out."""
        from run_e2e import parse_layout
        drv = self.drv
        rows = fit_rows(drv("fit"))
        check_equal(list(rows), MEASURED[kind], f"controls measured in the {kind} dialog")
        for ident, row in rows.items():
            check_equal(row["text"], drv.value(f"text {ident}"), f"whole text of {ident}")
            check_equal(row["fits"], (kind, ident) not in cut, f"{kind} dialog, control {ident} "
                        f"fits (needed {row['needed']}, available {row['available']})")
        (x0, y0, x1, y1), = [c["px"] for c in parse_layout(drv("layout"))["controls"]
                             if c["id"] == DESCRIPTION]
        check_equal(rows[DESCRIPTION]["available"], (x1 - x0, y1 - y0), "the description's room")
        self.shot(kind)
        return rows

    def fit_through(self, exe, cut):
        """Both dialogs of an installer, measured; the finish dialog is left with Escape."""
        drv = self.start(exe)
        drv("wait install")
        self.check_fit("install", cut)
        drv("click 1001")
        drv("wait finish")
        rows = self.check_fit("finish", cut)
        drv("key escape")
        check_equal(self.wait_exit(), 0, "exit code")
        drv.close()
        return rows

    def case_fit_demo(self):
        """The demo's texts fit both dialogs."""
        manifest = Path(self.args.demo_manifest or
                        self.source / "samples" / "demo" / "manifest.toml")
        self.fit_through(self.maker.build(manifest, "demo-fit"), cut=set())

    def case_fit_cut_texts(self):
        """A finish text whose long folder wraps out of sight, a check box text longer
        than its box, a description of one word too wide or of too many lines: each is
        reported as not fitting, with its whole text; the texts around them fit."""
        for n, (what, variables, cut) in enumerate(CUT_TEXTS):
            self.env.log(f"    {what}")
            exe = self.installer(f"cut{n}", variables, [("{App}\\a.txt", b"A")])
            rows = self.fit_through(exe, cut)
            self.env.clear_drive_d()
            if ("finish", DESCRIPTION) in cut:
                check_equal(rows[DESCRIPTION]["text"], "软件已经成功安装到了 " + LONG_APP,
                            "the cut finish text, whole")
