"""The end-to-end run's exit status over counts of cases run, failed and skipped: a
skipped case is never a pass, so a run whose every case was skipped is ctest's skip."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from run_e2e import SKIPPED, exit_status  # noqa: E402

# ran, failed, skipped -> status
CASES = [
    ((1, 0, 0), 0),
    ((5, 0, 0), 0),
    ((1, 0, 1), SKIPPED),   # --case space_short on a machine that cannot mount
    ((3, 0, 3), SKIPPED),
    ((3, 0, 2), 0),         # one passed; the summary names the two skipped
    ((1, 1, 0), 1),
    ((3, 1, 2), 1),         # a failure outweighs the skips
    ((3, 3, 0), 1),
    ((0, 0, 0), 0),
]


def main():
    failures = [f"exit_status{args} = {exit_status(*args)}, expected {want}"
                for args, want in CASES if exit_status(*args) != want]
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
