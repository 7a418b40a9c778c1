#pragma once

// Learning from a natNet file and classifying samples with it.
//
// The training points are min-max normalised per feature, turned into their
// first two principal components, and normalised again into the unit
// square; a sample goes the same way with the training limits. Samples that
// land inside the square (edges included) are classified by the natural
// numerical network; the others stay unclassified.
//
// learn() does everything that depends on the training set only (reading,
// the two normalisations, the analysis and the network's labelled
// trajectory), so any number of sample sets can be classified against one
// learning. run() is both for the samples given to setParameters.

#include <chrono>
#include <span>
#include <string>
#include <vector>

#include "analysis/NatNet.h"
#include "analysis/NatNetInfo.h"
#include "analysis/PCA.h"

// Why a classification gave no result.
enum class ClassificationError {
    None,
    UnreadableNetwork,   // the natNet file cannot be opened or read
    InvalidNetwork,      // its header fails checkNetwork
    ChannelMismatch,     // channels or samples do not fit the network
    AreaTooSmall,        // the inner area lies less than 5 pixels inside the images
    NoSeparation,        // the classes did not separate within the step limit
    NonFinitePositions,  // a network step gave a non-finite position
    OutOfMemory,
};

// A sentence for the user ("" for ClassificationError::None).
std::string classificationErrorText(ClassificationError error);

// A network as one reading of its natNet file found it: the header and the
// training points come from the same pass over the file. Whatever names the
// classes, matches the bands and classifies with one reading agrees, even
// when the file changes afterwards.
struct NatNetReading {
    NatNetInfo network;  // the header; directory and fileName as asked for
    // network.numberOfPoints rows of network.dimension values each.
    std::vector<std::vector<double>> trainingRows;
    // None when the reading can classify.
    ClassificationError error = ClassificationError::UnreadableNetwork;
};
// Reads directory + fileName once. UnreadableNetwork for a file that cannot
// be opened, a malformed header, or training points the training-set reader
// refuses; InvalidNetwork for a header that fails checkNetwork; OutOfMemory
// when memory runs out.
NatNetReading readNatNet(const std::string& directory, const std::string& fileName);

struct NatNetClassifier {
    std::string directory;
    std::string fileName;
    double Kx = 0.0;
    double Ky = 0.0;
    double delta = 0.0;
    std::vector<int> classSizes;
    std::vector<std::vector<double>> trainingRows;
    int rows = 0;      // training points
    int features = 0;  // values per point
    std::vector<double> samples;  // sampleCount x features, row-major
    long long sampleCount = 0;
    int pcaComponents = 2;

    // The training points of directory + fileName: rows, features and the
    // class sizes from the header, then `rows` lines of at least `features`
    // values each (further values ignored). A value that does not read as a
    // finite number (nan, inf) is taken as 0. False for a file that cannot
    // be opened, a malformed count or value, a missing or short line.
    bool readTrainingSet();

    // Per-feature minimum and maximum of the first count values over the
    // training rows (no more values than every row holds; none without
    // rows); the rows are rescaled in place to (v - min) / (max - min), 0
    // where max equals min.
    void computeNormalization(int count, std::vector<double>& mins, std::vector<double>& maxs);
    // The same rescaling of the first count values of one sample, with
    // given limits; no clipping, so values outside the limits leave [0, 1].
    static void normalizeSample(std::span<double> sample, int count, const std::vector<double>& mins,
                                const std::vector<double>& maxs);

    // samples: sampleCount lists of `features` values, row-major.
    void setParameters(std::string directory, std::string fileName, double Kx, double Ky, double delta,
                       std::vector<double> samples, long long sampleCount);

    // Learns and classifies the samples of setParameters: out gets one list
    // per class of one value per sample, the sample's relevancy when it was
    // assigned to that class and 0 otherwise. On false (see error) out is
    // not touched.
    bool run(std::vector<std::vector<double>>& out);

    // The stages of run. learn checks nothing of the header beyond what
    // readTrainingSet needs; callers check the network first.
    bool learn();
    // Learns from a reading instead of the file: its file name, parameters,
    // class sizes and training points. False (see error) for a reading that
    // cannot classify.
    bool learnFrom(const NatNetReading& reading);
    // Each sample (count lists of `features` values) into the training
    // plane: u, v get its two normalised components.
    void projectSamples(const double* samples, long long count, double* u, double* v) const;
    // Classifies plane points as run does (points outside the unit square,
    // or NaN, stay unclassified) into out. The closing time line counts
    // from `since`.
    bool classifyPlane(const PlanePoints& plane, std::vector<std::vector<double>>& out,
                       std::chrono::steady_clock::time_point since);
    // Steps the labelled points took to separate.
    int trainedSteps() const { return network.trainedSteps(); }

    ClassificationError error = ClassificationError::None;

private:
    // learn after the training set is in place; the time lines count from
    // started.
    bool learnTrainingSet(std::chrono::steady_clock::time_point started);

    std::vector<double> featureMins, featureMaxs;
    std::vector<double> planeMins, planeMaxs;
    std::vector<int> trainingLabels;
    PCA pca;
    NatNet network{0, 2, {}};
};
