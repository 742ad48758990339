#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "util/aud_expiry.h"
#include "util/aud_formats.h"
#include "util/aud_list.h"

namespace {

struct Item {
    int value;
    aud_list_node node;
};

std::vector<int> values(const aud_list& list) {
    std::vector<int> out;
    for (aud_list_node* n = list.head; n; n = n->next) {
        out.push_back(static_cast<Item*>(n->item)->value);
    }
    std::vector<int> backwards;
    for (aud_list_node* n = list.tail; n; n = n->prev) {
        backwards.insert(backwards.begin(), static_cast<Item*>(n->item)->value);
    }
    EXPECT_EQ(out, backwards);
    EXPECT_EQ(out.size(), list.count);
    return out;
}

TEST(List, InsertRemoveAndMoveBetweenLists) {
    aud_list a;
    aud_list b;
    aud_list_init(&a);
    aud_list_init(&b);
    Item items[4] = {{1, {}}, {2, {}}, {3, {}}, {4, {}}};
    for (Item& item : items) {
        aud_list_node_init(&item.node, &item);
    }
    aud_list_append(&a, &items[1].node);
    aud_list_prepend(&a, &items[0].node);
    aud_list_append(&a, &items[3].node);
    aud_list_insert_after(&a, &items[1].node, &items[2].node);
    EXPECT_EQ(values(a), (std::vector<int>{1, 2, 3, 4}));
    aud_list_append(&b, &items[1].node);
    EXPECT_EQ(values(a), (std::vector<int>{1, 3, 4}));
    EXPECT_EQ(values(b), (std::vector<int>{2}));
    aud_list_remove(&items[3].node);
    aud_list_remove(&items[3].node);
    aud_list_remove(&items[0].node);
    EXPECT_EQ(values(a), (std::vector<int>{3}));
    EXPECT_EQ(items[0].node.list, nullptr);
}

TEST(Formats, SmallValuesAsBitsLargerOnesSorted) {
    aud_formats set{};
    EXPECT_EQ(aud_formats_add(&set, 24), AUD_SUCCESS);
    EXPECT_EQ(aud_formats_add(&set, 16), AUD_SUCCESS);
    EXPECT_EQ(aud_formats_add(&set, 64), AUD_SUCCESS);
    EXPECT_EQ(set.small_mask, (1u << 2) | (1u << 1) | (1u << 7));
    EXPECT_EQ(set.first, 24u);
    EXPECT_EQ(set.first_small, 24u);
    for (uint32_t v : {96000u, 0u, 48000u, 65u, 48000u}) {
        EXPECT_EQ(aud_formats_add(&set, v), AUD_SUCCESS);
    }
    ASSERT_EQ(set.large_count, 4u);
    EXPECT_EQ(std::vector<uint32_t>(set.large, set.large + 4),
              (std::vector<uint32_t>{0, 65, 48000, 96000}));
    for (uint32_t v = 1000; v < 1004; ++v) {
        EXPECT_EQ(aud_formats_add(&set, v), AUD_SUCCESS);
    }
    EXPECT_EQ(aud_formats_add(&set, 5000), AUD_ERR_TRUNCATED);
    uint32_t out[AUD_FORMATS_LARGE_MAX];
    ASSERT_EQ(aud_formats_to_array(&set, out), 8u);
    EXPECT_EQ(out[0], 24u);
    EXPECT_EQ(out[1], 0u);
    EXPECT_EQ(out[2], 65u);
    EXPECT_EQ(out[3], 1000u);
    EXPECT_EQ(out[7], 48000u);
}

TEST(Formats, EqualityIgnoresOrderOfAdding) {
    aud_formats a{};
    aud_formats b{};
    for (uint32_t v : {16u, 48000u, 44100u}) {
        aud_formats_add(&a, v);
    }
    for (uint32_t v : {44100u, 16u, 48000u}) {
        aud_formats_add(&b, v);
    }
    EXPECT_TRUE(aud_formats_equal(&a, &b));
    aud_formats_add(&b, 32);
    EXPECT_FALSE(aud_formats_equal(&a, &b));
    uint32_t out[AUD_FORMATS_LARGE_MAX];
    aud_formats empty{};
    EXPECT_EQ(aud_formats_to_array(&empty, out), 0u);
}

struct Reports {
    std::vector<int> kinds;
    std::vector<int> values;
};

void onExpired(void* owner, int kind, void* data) {
    auto* reports = static_cast<Reports*>(owner);
    reports->kinds.push_back(kind);
    reports->values.push_back(*static_cast<int*>(data));
}

TEST(ExpiryList, ExpiresOldEntriesWithAReportAndClearsSilently) {
    Reports reports;
    aud_expiry_list* list = nullptr;
    ASSERT_EQ(aud_expiry_list_new(&reports, &list), AUD_SUCCESS);
    aud_expiry_list_set_callback(list, onExpired);
    for (int v : {1, 2, 3}) {
        void* data = nullptr;
        ASSERT_EQ(aud_expiry_list_add(list, sizeof(int), &data), AUD_SUCCESS);
        EXPECT_EQ(*static_cast<int*>(data), 0);
        *static_cast<int*>(data) = v;
    }
    EXPECT_EQ(aud_expiry_list_count(list), 3u);
    aud_expiry_list_expire(list);
    EXPECT_TRUE(reports.kinds.empty());

    std::vector<int> seen;
    for (void* d = aud_expiry_list_next(list, nullptr); d; d = aud_expiry_list_next(list, d)) {
        seen.push_back(*static_cast<int*>(d));
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    aud_expiry_list_remove(list, aud_expiry_list_next(list, nullptr));
    EXPECT_EQ(aud_expiry_list_count(list), 2u);

    aud_expiry_list_set_max_age(list, 0);
    aud_expiry_list_expire(list);
    EXPECT_EQ(reports.kinds, (std::vector<int>{AUD_EXPIRY_REMOVED, AUD_EXPIRY_REMOVED}));
    EXPECT_EQ(reports.values, (std::vector<int>{2, 3}));
    EXPECT_EQ(aud_expiry_list_count(list), 0u);

    void* data = nullptr;
    ASSERT_EQ(aud_expiry_list_add(list, 64, &data), AUD_SUCCESS);
    aud_expiry_list_clear(list);
    EXPECT_EQ(aud_expiry_list_count(list), 0u);
    EXPECT_EQ(reports.kinds.size(), 2u);
    aud_expiry_list_free(list);
}

// An owner whose expiry callback removes the entry after the reported one, or clears the list.
struct Meddler {
    aud_expiry_list* list = nullptr;
    bool clear = false;
    std::vector<int> reported;
};

void onExpiredMeddle(void* owner, int, void* data) {
    auto* meddler = static_cast<Meddler*>(owner);
    meddler->reported.push_back(*static_cast<int*>(data));
    if (meddler->clear) {
        aud_expiry_list_clear(meddler->list);
        return;
    }
    int* wanted = nullptr;
    for (void* d = aud_expiry_list_next(meddler->list, nullptr); d;
         d = aud_expiry_list_next(meddler->list, d)) {
        if (*static_cast<int*>(d) == *static_cast<int*>(data) + 1) {
            wanted = static_cast<int*>(d);
        }
    }
    if (wanted) {
        aud_expiry_list_remove(meddler->list, wanted);
    }
}

int64_t fixedClock(void* context) {
    return *static_cast<int64_t*>(context);
}

TEST(ExpiryList, CallbacksMayRemoveOtherEntriesOrClearTheList) {
    struct Case {
        bool clear;
        std::vector<int> stale;  // entries old enough to expire
        std::vector<int> reported;
        size_t left;
    };
    // Values 1-4; the callback removes value + 1 when it is still listed.
    const Case cases[] = {
        {false, {1, 2, 3, 4}, {1, 3}, 0}, {false, {1, 2}, {1}, 2}, {false, {2, 4}, {2, 4}, 1},
        {true, {1, 2, 3, 4}, {1}, 0},     {true, {2, 3}, {2}, 0},
    };
    for (const Case& c : cases) {
        Meddler meddler;
        meddler.clear = c.clear;
        int64_t now = 0;
        ASSERT_EQ(aud_expiry_list_new(&meddler, &meddler.list), AUD_SUCCESS);
        aud_expiry_list_set_callback(meddler.list, onExpiredMeddle);
        aud_expiry_list_set_clock(meddler.list, fixedClock, &now);
        aud_expiry_list_set_max_age(meddler.list, 10);
        for (int v : {1, 2, 3, 4}) {
            const bool stale = std::find(c.stale.begin(), c.stale.end(), v) != c.stale.end();
            now = stale ? 0 : 10;
            void* data = nullptr;
            ASSERT_EQ(aud_expiry_list_add(meddler.list, sizeof(int), &data), AUD_SUCCESS);
            *static_cast<int*>(data) = v;
        }
        now = 10;
        aud_expiry_list_expire(meddler.list);
        EXPECT_EQ(meddler.reported, c.reported) << c.clear << " " << c.stale.size();
        EXPECT_EQ(aud_expiry_list_count(meddler.list), c.left);
        aud_expiry_list_free(meddler.list);
    }
}

}  // namespace
