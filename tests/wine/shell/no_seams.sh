#!/bin/bash
# The shipped saver holds no test seam: not the name of the old environment switch for the
# system's running flag, not the stand-in window's class. The test saver, which links the
# stand-in, must show it, or the search itself is broken.
#
#   no_seams.sh <shipped saver> <test saver>
set -u
shipped=$1 test_saver=$2
seams=(SAVERPAK_SYSTEM_SAVER_RUNNING TStandInConfigurationForm)
failures=0
for seam in "${seams[@]}"; do
    if grep -aq "$seam" "$shipped"; then echo "FAIL: the shipped saver holds $seam"; failures=1; fi
done
for seam in "${seams[@]:1}"; do
    grep -aq "$seam" "$test_saver" || { echo "FAIL: the search misses $seam in the test saver"; failures=1; }
done
exit $failures
