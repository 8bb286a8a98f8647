// The models over every part the program carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "catalogue/part_database.h"
#include "workbench_fixture.h"

namespace {

using model_test::WorkbenchTest;

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string s;
    char b[4];
    for (auto v : bytes) {
        std::snprintf(b, sizeof b, "%02X ", static_cast<unsigned>(v));
        s += b;
    }
    return s;
}

using EveryPartTest = WorkbenchTest;

TEST_F(EveryPartTest, ApplyingThenComposingGivesBackTheDefaultOptionBytes) {
    const auto all = cat::AllPartIndices();
    ASSERT_FALSE(all.empty());
    for (int index : all) {
        SCOPED_TRACE("part " + std::to_string(index));
        ASSERT_TRUE(bench.SelectPartByIndex(index));
        const auto defaults = cat::Part(index).DefaultOptionBytes();
        ASSERT_EQ(defaults.size(), bench.info.optionCount);
        bench.ComposeOptionBytes();
        const std::span<const std::uint8_t> composed(bench.info.optionBytes.data(),
                                                     defaults.size());
        EXPECT_EQ(Hex(composed), Hex(defaults));
    }
}

TEST_F(EveryPartTest, DefaultBytesDecodeInsideEveryEnabledList) {
    for (int index : cat::AllPartIndices()) {
        SCOPED_TRACE("part " + std::to_string(index));
        ASSERT_TRUE(bench.SelectPartByIndex(index));
        const auto& p = panel();
        const cat::Part part(index);
        EXPECT_EQ(p.isp.enabled, part.Number(cat::key::kIspAvailable) != 0);
        if (p.isp.enabled) {
            EXPECT_TRUE(p.isp.HasSelection());
            EXPECT_EQ(p.isp.Text(0), "None");
        }
        if (p.iap.enabled) {
            EXPECT_TRUE(p.iap.HasSelection());
        }
        if (p.osc.enabled) {
            EXPECT_TRUE(p.osc.HasSelection());
        }
        if (part.Number(cat::key::kHwenwAvailable) != 0) {
            EXPECT_TRUE(p.hwpsx.HasSelection());
        }
        EXPECT_EQ(bench.buffer()->Capacity(), part.CodeSize());
        EXPECT_EQ(bench.info.partIndex, part.DeviceCode());
    }
}

TEST_F(EveryPartTest, EveryIspSizeAndSomeIapSizesRoundTripThroughTheBytes) {
    for (int index : cat::AllPartIndices()) {
        SCOPED_TRACE("part " + std::to_string(index));
        ASSERT_TRUE(bench.SelectPartByIndex(index));
        auto& isp = panel().isp;
        auto& iap = panel().iap;
        const int ispCount = std::max(isp.Count(), 1);
        for (int ispPos = 0; ispPos < ispCount; ++ispPos) {
            if (isp.enabled) bench.OnIspChanged(ispPos);
            const int last = iap.Count() - 1;
            for (int iapPos : {0, 1, last / 2, last}) {
                if (iap.enabled) bench.OnIapChanged(std::clamp(iapPos, 0, last));
                const int wantIap = iap.Selected();
                bench.ComposeOptionBytes();
                panel().ShowOptionBytes();
                if (isp.enabled) {
                    ASSERT_EQ(isp.Selected(), ispPos);
                }
                ASSERT_EQ(iap.Selected(), wantIap) << "isp " << ispPos;
            }
        }
    }
}

using CataloguePartListTest = WorkbenchTest;

TEST_F(CataloguePartListTest, SeriesAscendWithSeriesFourLast) {
    const auto& series = bench.series;
    ASSERT_GT(series.Count(), 0);
    std::vector<model::ItemValue> others;
    for (int i = 0; i < series.Count(); ++i) {
        if (series.Value(i) == 4) {
            EXPECT_EQ(i, series.Count() - 1) << "series 4 is not last";
        } else {
            others.push_back(series.Value(i));
        }
    }
    EXPECT_TRUE(std::is_sorted(others.begin(), others.end()));
}

TEST_F(CataloguePartListTest, EveryPartListedOnceAndFollowedByItsSibling) {
    std::set<int> listed;
    for (int s = 0; s < bench.series.Count(); ++s) {
        bench.OnSeriesSelected(s);
        const auto& parts = bench.parts;
        for (int j = 0; j < parts.Count(); ++j) {
            const int index = static_cast<int>(parts.Value(j));
            EXPECT_TRUE(listed.insert(index).second) << index;
            EXPECT_EQ(cat::Part(index).Series(), bench.series.Value(s));
            const int sibling = index < 256 ? index + 128 : index + 2048;
            if (index < 128 || (index >= 256 && index < 2048)) {
                if (cat::Part(sibling).Exists() &&
                    cat::Part(sibling).Series() == cat::Part(index).Series()) {
                    ASSERT_LT(j + 1, parts.Count());
                    EXPECT_EQ(parts.Value(j + 1), sibling) << "after " << index;
                }
            }
        }
        if (parts.Count() > 0) {
            EXPECT_EQ(bench.currentPart, parts.Value(0));
        }
    }
    const auto all = cat::AllPartIndices();
    EXPECT_EQ(listed, std::set<int>(all.begin(), all.end()));
}

TEST_F(CataloguePartListTest, LanguageChangeKeepsTheSeriesPosition) {
    const int last = bench.series.Count() - 1;
    bench.OnSeriesSelected(last);
    const int part = bench.currentPart;
    for (int language : {1, 0, 1}) {
        cat::SetLanguageID(language);
        bench.OnLanguageChanged();
        EXPECT_EQ(bench.series.Selected(), last);
        EXPECT_EQ(bench.currentPart, part);
    }
}

TEST_F(CataloguePartListTest, FirstStartOpensOnPartOne) {
    EXPECT_EQ(bench.RestorePart(-1, 0), 1);
    EXPECT_EQ(bench.series.ValueOfSelection(), cat::Part(1).Series());
}

}  // namespace
