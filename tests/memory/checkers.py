"""Whether this process runs under a memory checker."""


def under_memory_checker():
    """True under AddressSanitizer or valgrind. Both stop the process when an
    allocation cannot be satisfied, where the module would otherwise raise
    MemoryError, so tests of that failure skip there."""
    try:
        with open("/proc/self/maps") as maps:
            text = maps.read()
    except OSError:
        return False
    return "libasan" in text or "vgpreload" in text
