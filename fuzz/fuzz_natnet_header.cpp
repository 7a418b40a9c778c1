// The header line of a natNet file and the checks of the network it
// describes.

#include "FuzzSupport.h"
#include "analysis/NatNetInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    FuzzSupport::writeInput("network.csv", data, size);
    NatNetInfo info;
    info.directory = FuzzSupport::scratchFolder() + "/";
    info.fileName = "network.csv";
    if (info.readHeader()) {
        const NetworkDefect defect = checkNetwork(info);
        (void)networkDefectText(defect);
        FuzzSupport::require(info.clusterNames.size() == info.clusterSizes.size(), "one name per class");
    }
    return 0;
}
