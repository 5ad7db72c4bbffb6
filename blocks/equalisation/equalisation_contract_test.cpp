// The equalisation and clock-recovery blocks under the shared block
// contract.
#include "blocks/equalisation/equalisation_test_adapters.h"
#include "tests/support/block_contract.h"

INSTANTIATE_TYPED_TEST_SUITE_P(Equalisation, BlockContract,
                               ContractTypes<EqualisationBlocks>::type);
