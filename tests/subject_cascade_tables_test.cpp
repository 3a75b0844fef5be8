// The trained tables built into the program must have the shape the detector
// and the verifier were written for, and the rows by which a table is
// recognised.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "subject/Cascades.h"

namespace {

TEST(FaceCascadeTable, StagesHaveTheirSizesAndThresholds) {
    const int sizes[4] = {24, 50, 170, 440};
    const int thresholds[4] = {1609, 1942, 2904, 7122};
    int total = 0;
    for (int s = 0; s < 4; s++) {
        EXPECT_EQ(sizes[s], FaceCascade.stageSize[s]) << s;
        EXPECT_EQ(thresholds[s], FaceCascade.stageThreshold[s]) << s;
        total += FaceCascade.stageSize[s];
    }
    EXPECT_EQ(FaceCascadeData::kFeatures, total);
}

TEST(FaceCascadeTable, EachStageStartsAtItsTellingPosition) {
    const std::pair<int, int> first[4] = {{12, 8}, {9, 5}, {2, 12}, {6, 6}};
    const int start[4] = {0, 24, 74, 244};
    for (int s = 0; s < 4; s++) {
        EXPECT_EQ(first[s].first, FaceCascade.x[start[s]]) << s;
        EXPECT_EQ(first[s].second, FaceCascade.y[start[s]]) << s;
    }
}

TEST(FaceCascadeTable, FirstFeatureTableBeginsWithTheTellingRow) {
    const int row[16] = {254, 169, 254, 193, 215, 130, 215, 254, 254, 130, 130, 193, 169, 101, 254, 215};
    for (int c = 0; c < 16; c++) EXPECT_EQ(row[c], FaceCascade.table[0][c]) << c;
}

TEST(FaceCascadeTable, PositionsAndValuesAreInRange) {
    for (int k = 0; k < FaceCascadeData::kFeatures; k++) {
        EXPECT_TRUE(FaceCascade.x[k] >= 1 && FaceCascade.x[k] <= 20) << k;
        EXPECT_TRUE(FaceCascade.y[k] >= 1 && FaceCascade.y[k] <= 22) << k;
        for (int c = 0; c < FaceCascadeData::kCodes; c++) {
            if (FaceCascade.table[k][c] > 254) {
                ADD_FAILURE() << "feature " << k << " code " << c << " = " << int{FaceCascade.table[k][c]};
                break;
            }
        }
    }
}

TEST(FaceCascadeTable, NoPositionIsUsedTwiceWithinAStage) {
    int k = 0;
    for (int s = 0; s < FaceCascadeData::kStages; s++) {
        std::set<std::pair<int, int>> seen;
        for (int i = 0; i < FaceCascade.stageSize[s] && k < FaceCascadeData::kFeatures; i++, k++) {
            EXPECT_TRUE(seen.insert({FaceCascade.x[k], FaceCascade.y[k]}).second) << "stage " << s << " feature " << k;
        }
    }
}

TEST(EyeCascadeTable, StagesHaveTheirSizesAndThresholds) {
    const int sizes[3] = {22, 36, 100};
    const int thresholds[3] = {7270, 10956, 17510};
    int total = 0;
    for (int s = 0; s < 3; s++) {
        EXPECT_EQ(sizes[s], EyeCascade.stageSize[s]) << s;
        EXPECT_EQ(thresholds[s], EyeCascade.stageThreshold[s]) << s;
        total += EyeCascade.stageSize[s];
    }
    EXPECT_EQ(EyeCascadeData::kFeatures, total);
}

TEST(EyeCascadeTable, EachStageStartsAtItsTellingPosition) {
    const std::pair<int, int> first[3] = {{9, 7}, {10, 7}, {9, 7}};
    const int start[3] = {0, 22, 58};
    for (int s = 0; s < 3; s++) {
        EXPECT_EQ(first[s].first, EyeCascade.x[start[s]]) << s;
        EXPECT_EQ(first[s].second, EyeCascade.y[start[s]]) << s;
    }
}

TEST(EyeCascadeTable, FirstFeatureTableBeginsWithTheTellingRow) {
    const unsigned row[16] = {980, 413, 980, 722, 257, 567, 413, 722, 980, 980, 980, 567, 980, 980, 824, 980};
    for (int c = 0; c < 16; c++) EXPECT_EQ(row[c], EyeCascade.table[0][c]) << c;
}

TEST(EyeCascadeTable, PositionsAndValuesAreInRange) {
    for (int k = 0; k < EyeCascadeData::kFeatures; k++) {
        EXPECT_TRUE(EyeCascade.x[k] >= 1 && EyeCascade.x[k] <= 13) << k;
        EXPECT_TRUE(EyeCascade.y[k] >= 1 && EyeCascade.y[k] <= 13) << k;
        for (int c = 0; c < EyeCascadeData::kCodes; c++) {
            if (EyeCascade.table[k][c] > 980) {
                ADD_FAILURE() << "feature " << k << " code " << c << " = " << EyeCascade.table[k][c];
                break;
            }
        }
    }
}

TEST(EyeCascadeTable, NoPositionIsUsedTwiceWithinAStage) {
    int k = 0;
    for (int s = 0; s < EyeCascadeData::kStages; s++) {
        std::set<std::pair<int, int>> seen;
        for (int i = 0; i < EyeCascade.stageSize[s] && k < EyeCascadeData::kFeatures; i++, k++) {
            EXPECT_TRUE(seen.insert({EyeCascade.x[k], EyeCascade.y[k]}).second) << "stage " << s << " feature " << k;
        }
    }
}

}  // namespace
