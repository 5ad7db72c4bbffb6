// The blocks of the filter mathematics under the shared block contract.
#include "blocks/filter_math/filter_math_test_adapters.h"
#include "tests/support/block_contract.h"

INSTANTIATE_TYPED_TEST_SUITE_P(FilterMath, BlockContract, ContractTypes<FilterMathBlocks>::type);
