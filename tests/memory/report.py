"""Judges the logs of a memory checker run, one log per process.

    python tests/memory/report.py memcheck LOG...
    python tests/memory/report.py sanitizer LOG...

memcheck: any invalid read, write or free, any error whose stack passes
through magnikit, and any block definitely lost with magnikit on its stack
fail the run; undefined-value errors wholly inside the interpreter are
counted but do not.

sanitizer: any AddressSanitizer error and any undefined behaviour fail the
run, and so does any leak (when LeakSanitizer is on) with magnikit on its
stack; leaks of other code (NumPy's import, say) are counted but do not.

Exit status 1 if the run failed."""

import re
import sys

MEMCHECK_LINE = re.compile(r"^==\d+== (.*)$")
MEMCHECK_ERRORS = ("Invalid", "Mismatched", "Source", "Syscall", "Conditional", "Use", "Argument")
MEMORY_SAFETY = ("Invalid read", "Invalid write", "Invalid free", "Mismatched free",
                 "Source and destination overlap", "Syscall param")


def ours(record):
    return any("magnikit" in line for line in record)


def memcheck_records(path):
    """The error and leak records of one memcheck log: lists of lines."""
    found, current = [], []
    with open(path, errors="replace") as log:
        for line in log:
            match = MEMCHECK_LINE.match(line.rstrip("\n"))
            text = match.group(1) if match else ""
            if not text.strip():
                if current:
                    found.append(current)
                current = []
            elif (current or text.split(" ")[0] in MEMCHECK_ERRORS
                  or " definitely lost in loss record " in text):
                current.append(text)
    if current:
        found.append(current)
    return found


def judge_memcheck(paths):
    failures, ignored = [], 0
    for path in paths:
        for record in memcheck_records(path):
            head = record[0]
            if " definitely lost " in head:
                failing = ours(record)
            else:
                failing = ours(record) or head.startswith(MEMORY_SAFETY)
            if failing:
                failures.append((path, record))
            else:
                ignored += 1
    return failures, f"{ignored} undefined-value records or leaks wholly inside the interpreter"


def sanitizer_records(path):
    """Paragraphs of one sanitizer log: lists of lines."""
    found, current = [], []
    with open(path, errors="replace") as log:
        for line in log:
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("====="):
                if current:
                    found.append(current)
                current = []
            else:
                current.append(line)
    if current:
        found.append(current)
    return found


def judge_sanitizer(paths):
    failures, ignored = [], 0
    for path in paths:
        for record in sanitizer_records(path):
            text = "\n".join(record)
            if "ERROR: AddressSanitizer" in text or "runtime error:" in text:
                failures.append((path, record))
            elif re.match(r"(Direct|Indirect) leak of", record[0]):
                if ours(record):
                    failures.append((path, record))
                else:
                    ignored += 1
    return failures, f"{ignored} leak records of other code"


def main(arguments):
    if len(arguments) < 1 or arguments[0] not in ("memcheck", "sanitizer"):
        print(__doc__)
        return 2
    kind, paths = arguments[0], arguments[1:]
    judge = judge_memcheck if kind == "memcheck" else judge_sanitizer
    failures, ignored = judge(paths)
    for path, record in failures:
        print(f"--- {path}")
        print("\n".join(record))
    print(f"{kind}: {len(paths)} process logs, {len(failures)} findings against magnikit "
          f"or memory safety; ignored: {ignored}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
