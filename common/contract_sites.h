// The library's documented contract checks: each site's expression, source,
// line and function, exactly as its assertion report names them.
#ifndef AMI_COMMON_CONTRACT_SITES_H
#define AMI_COMMON_CONTRACT_SITES_H

namespace ami {

struct ContractSite {
    const char *expression;
    const char *source;
    unsigned line;
    const char *function;
};

namespace sites {

// Parameter tree: an array entry whose element type is not an array type.
inline constexpr ContractSite kAddToArrayType{"0", "IBIS_AMI_tree", 365, "AddToArray"};
inline constexpr ContractSite kPrintArrayType{"0", "IBIS_AMI_tree", 688, "print_array"};

// Filter mathematics.
inline constexpr ContractSite kComplexDivisionByZero{"b_mag", "Kestrom_AMI_Model", 630, "imdiv"};
inline constexpr ContractSite kPeakingInputHistory{"filt.peak_in", "Kestrom_AMI_Model", 858,
                                                   "ApplyPeakingFilter"};
inline constexpr ContractSite kPeakingOutputHistory{"filt.peak_out", "Kestrom_AMI_Model", 859,
                                                    "ApplyPeakingFilter"};

// Channel shaping: the lookup table.
inline constexpr ContractSite kTablePointCount{"npts > 1 && npts < 0xffffff", "Kestrom_AMI_Model",
                                               1375, "SetTable"};
inline constexpr ContractSite kTableIncreasingAxis{"x[indx] > x[indx-1]", "Kestrom_AMI_Model", 1384,
                                                   "SetTable"};
inline constexpr ContractSite kTableBisection{"hi != lo", "Kestrom_AMI_Model", 1413, "ApplyTable"};

}  // namespace sites

// Every site, for tests that check the reports.
inline constexpr const ContractSite *kContractSites[] = {
    &sites::kAddToArrayType,      &sites::kPrintArrayType,       &sites::kComplexDivisionByZero,
    &sites::kPeakingInputHistory, &sites::kPeakingOutputHistory, &sites::kTablePointCount,
    &sites::kTableIncreasingAxis, &sites::kTableBisection,
};

}  // namespace ami

#endif  // AMI_COMMON_CONTRACT_SITES_H
