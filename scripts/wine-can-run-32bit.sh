#!/usr/bin/env bash
# Exit 0 when Wine's 32-bit loader runs on this machine.  Some kernels are
# built or booted without 32-bit program support; there the loader fails
# with "Exec format error".
/usr/lib/wine/wine --version >/dev/null 2>&1
