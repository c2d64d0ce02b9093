// Every target runs without transparent huge pages. The store advises them
// for planes over 2 MiB, where a picture is written densely; a hostile
// header declaring a huge picture, with a few RLE escapes jumping from row
// to row, touches one sample in each of thousands of them instead, and
// each touch zeroes 2 MiB. That was a third of a long reader run's time and
// most of its gigabyte of memory; fuzzing looks for wrong behaviour, which
// the page size does not change.
#include <sys/prctl.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0);
    return 0;
}
