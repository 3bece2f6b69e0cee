"""Tools of the memory checks: leak cases and their measurement, shared by
the quick leak test and the long runs of scripts/check-memory."""
