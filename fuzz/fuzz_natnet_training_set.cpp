// The training points of a natNet file and their normalisation.

#include <cmath>

#include "FuzzSupport.h"
#include "analysis/NatNetClassifier.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    FuzzSupport::writeInput("network.csv", data, size);
    NatNetClassifier classifier;
    classifier.directory = FuzzSupport::scratchFolder() + "/";
    classifier.fileName = "network.csv";
    if (classifier.readTrainingSet()) {
        FuzzSupport::require(classifier.trainingRows.size() == static_cast<std::size_t>(classifier.rows),
                             "as many rows as the header says");
        for (const auto& row : classifier.trainingRows)
            for (double v : row)
                FuzzSupport::require(std::isfinite(v), "finite training values");
        std::vector<double> mins;
        std::vector<double> maxs;
        classifier.computeNormalization(classifier.features, mins, maxs);
    }
    return 0;
}
