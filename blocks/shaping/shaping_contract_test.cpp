// The shaping blocks under the shared block contract.
#include "blocks/shaping/shaping_test_adapters.h"
#include "tests/support/block_contract.h"

INSTANTIATE_TYPED_TEST_SUITE_P(Shaping, BlockContract, ContractTypes<ShapingBlocks>::type);
