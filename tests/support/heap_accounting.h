// Counts the heap traffic of a stretch of code, and can make the n-th
// allocation in it fail. Works by replacing malloc and friends in the test
// executable, so it is built only without sanitizers (which replace them
// too). The model library allocates through the same functions.
#ifndef AMI_TESTS_HEAP_ACCOUNTING_H
#define AMI_TESTS_HEAP_ACCOUNTING_H

struct HeapTally {
    long allocations = 0;  // blocks handed out
    long releases = 0;     // blocks given back
    long failures = 0;     // allocations refused on purpose
    long live() const { return allocations - releases; }
};

// Starts counting; with fail_at = n > 0 the n-th allocation from here on
// returns null (and only that one).
void heap_accounting_start(long fail_at = 0);
// Stops counting and returns what was seen since the start.
HeapTally heap_accounting_stop();

#endif  // AMI_TESTS_HEAP_ACCOUNTING_H
