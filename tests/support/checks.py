"""The Python tests' report: one line a check ('ok   ...' or 'FAIL ...') and the closing count."""

results = {'passed': 0, 'failed': 0}


def check(ok, what):
    results['passed' if ok else 'failed'] += 1
    print(('ok   ' if ok else 'FAIL ') + what)
    return ok


def finish():
    """Prints 'N passed, N failed'; the exit status: 0 when nothing failed."""
    print('%d passed, %d failed' % (results['passed'], results['failed']))
    return 0 if results['failed'] == 0 else 1
