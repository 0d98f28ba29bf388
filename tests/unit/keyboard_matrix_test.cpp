// The host keyboard as the Spectrum's key matrix, and the press edges of read_keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
// Port high bytes selecting one half-row each, A8 to A15.
constexpr uint8_t HALF_ROW_PORT[8] = {0xFE, 0xFD, 0xFB, 0xF7, 0xEF, 0xDF, 0xBF, 0x7F};

struct Press {
    int line; // address line 8..15
    int bit;
};

struct Mapping {
    int key;
    std::vector<Press> presses;
};

// Every host key that reaches the matrix, with every (half-row, bit) it presses.
const std::vector<Mapping>& mappings() {
    static const std::vector<Mapping> table = [] {
        std::vector<Mapping> t = {
            // CAPS SHIFT, SYMBOL SHIFT, ENTER, SPACE
            {key::LSHIFT, {{8, 0}}},
            {key::RSHIFT, {{8, 0}}},
            {key::LCTRL, {{15, 1}}},
            {key::RCTRL, {{15, 1}}},
            {key::RETURN, {{14, 0}}},
            {key::SPACE, {{15, 0}}},
            // DELETE is CAPS SHIFT + 0; the arrows CAPS SHIFT + 5, 6, 7, 8.
            {key::BACKSPACE, {{8, 0}, {12, 0}}},
            {key::LEFT, {{8, 0}, {11, 4}}},
            {key::DOWN, {{8, 0}, {12, 4}}},
            {key::UP, {{8, 0}, {12, 3}}},
            {key::RIGHT, {{8, 0}, {12, 2}}},
        };
        const char* const letters[8] = {" zxcv", "asdfg", "qwert", nullptr,
                                        nullptr, "poiuy", " lkjh", "  mnb"};
        for (int row = 0; row < 8; row++)
            if (letters[row])
                for (int bit = 0; bit < 5; bit++)
                    if (letters[row][bit] != ' ')
                        t.push_back({key::letter(letters[row][bit]), {{8 + row, bit}}});
        // 1 to 5 on A11 from bit 0; 0 to 6 on A12 from bit 0.
        for (int n = 1; n <= 5; n++) t.push_back({key::digit(n), {{11, n - 1}}});
        for (int n = 0; n <= 4; n++) t.push_back({key::digit(n == 0 ? 0 : 10 - n), {{12, n}}});
        return t;
    }();
    return table;
}

class KeyboardMatrix : public testing::Test {
  protected:
    Session& s = fresh_session();
    Spectrum& m = s.machine;

    void TearDown() override { test_host().on_pump = nullptr; }
    static void hold(std::initializer_list<int> keys) {
        for (int k : keys) test_host().keys[k] = 1;
    }
    // The machine's matrix read with the keys held now: the session gives the machine its
    // key rows from the host's keys, then the port decode reads them.
    uint8_t keyboard_matrix_read(uint16_t port, uint8_t value) {
        s.keyboard.update_key_rows(s.machine);
        return m.keyboard_matrix_read(port, value);
    }
};
} // namespace

TEST_F(KeyboardMatrix, TheTableCoversTheWholeMatrix) {
    std::set<std::pair<int, int>> covered;
    for (const Mapping& mapping : mappings())
        for (const Press& p : mapping.presses) covered.insert({p.line, p.bit});
    EXPECT_EQ(covered.size(), 40u);
}

// Each mapped key, held alone, clears exactly its bits in each half-row it belongs to and
// nothing in the others; the start value's bits 5-7 pass through.
TEST_F(KeyboardMatrix, EveryMappedKeyPressesItsHalfRowBits) {
    for (const Mapping& mapping : mappings()) {
        test_host().reset();
        hold({mapping.key});
        for (int line = 8; line <= 15; line++) {
            uint8_t expected = 0xBF;
            for (const Press& p : mapping.presses)
                if (p.line == line) expected &= ~(1 << p.bit);
            const uint16_t port = HALF_ROW_PORT[line - 8] << 8 | 0xFE;
            EXPECT_EQ(keyboard_matrix_read(port, 0xBF), expected)
                << "key " << mapping.key << " port " << std::hex << port;
            EXPECT_EQ(keyboard_matrix_read(port, 0xFF), expected | 0x40) << "key " << mapping.key;
        }
    }
}

TEST_F(KeyboardMatrix, NoOtherHostKeyReachesTheMatrix) {
    std::set<int> mapped;
    for (const Mapping& mapping : mappings()) mapped.insert(mapping.key);
    for (int k = 0; k < key::LAST; k++) {
        if (mapped.count(k)) continue;
        test_host().reset();
        hold({k});
        ASSERT_EQ(keyboard_matrix_read(0x00FE, 0xBF), 0xBF) << "key " << k;
    }
}

TEST_F(KeyboardMatrix, SeveralAddressLinesCombineTheirHalfRows) {
    hold({key::letter('z'), key::digit(9), key::letter('a'), key::letter('b')});
    // A8 and A12 low: Z (bit 1 of A8) and 9 (bit 1 of A12) clear the same bit; A is not read.
    EXPECT_EQ(keyboard_matrix_read(0xEEFE, 0xBF), 0xBD);
    // All lines low: the AND of all eight half-rows.
    EXPECT_EQ(keyboard_matrix_read(0x00FE, 0xBF), 0xBF & ~0x02 & ~0x01 & ~0x10);
    // No line low: nothing is selected, whatever is held.
    EXPECT_EQ(keyboard_matrix_read(0xFFFE, 0xBF), 0xBF);

    test_host().reset();
    hold({key::BACKSPACE});
    EXPECT_EQ(keyboard_matrix_read(0xFEFE, 0xBF), 0xBE);
    EXPECT_EQ(keyboard_matrix_read(0xEFFE, 0xBF), 0xBE);
    EXPECT_EQ(keyboard_matrix_read(0xEEFE, 0xBF), 0xBE);
}

// A Windows key held reads as no key at all, under either name the host may give it.
TEST_F(KeyboardMatrix, WindowsKeyMasksTheWholeMatrix) {
    for (int win : {key::LSUPER, key::RSUPER, key::LMETA, key::RMETA}) {
        test_host().reset();
        hold({win, key::letter('z'), key::LSHIFT, key::SPACE, key::digit(1), key::UP});
        EXPECT_EQ(keyboard_matrix_read(0x00FE, 0xBF), 0xBF) << "key " << win;
        EXPECT_EQ(keyboard_matrix_read(0xFEFE, 0xFF), 0xFF) << "key " << win;
        EXPECT_TRUE(s.keyboard.win_held());
    }
    test_host().reset();
    hold({key::letter('z')});
    EXPECT_FALSE(s.keyboard.win_held());
    EXPECT_EQ(keyboard_matrix_read(0xFEFE, 0xBF), 0xBD);
}

// The edges: one per press however long the key is held, and again after a release.
TEST_F(KeyboardMatrix, AHeldKeyMakesOneEdgePerPress) {
    const int q = key::letter('q');
    std::vector<int> q_down_by_call = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1};
    std::vector<int> makes, f1_makes;
    size_t call = 0;
    test_host().on_pump = [&] {
        test_host().keys[q] = static_cast<uint8_t>(q_down_by_call[call]);
        test_host().keys[key::F1] = call == 3 || call == 4; // another key, in the middle
        call++;
    };
    for (size_t i = 0; i < q_down_by_call.size(); i++) {
        s.read_keyboard();
        makes.push_back(s.keyboard.keystate_make[q]);
        f1_makes.push_back(s.keyboard.keystate_make[key::F1]);
        EXPECT_EQ(s.keyboard.key_held(q), q_down_by_call[i] == 1);
        // The machine's key rows follow every sample: Q is bit 0 of half-row A10.
        EXPECT_EQ(m.key_rows[2] & 0x01, q_down_by_call[i]) << "call " << i;
        // The states just before this pump.
        EXPECT_EQ(s.keyboard.keystate_last[q], i == 0 ? 0 : q_down_by_call[i - 1]);
    }
    EXPECT_EQ(makes, (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(f1_makes, (std::vector<int>{0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// The machine reads its own key rows: the host's keys reach it only when the session hands
// them over.
TEST_F(KeyboardMatrix, TheMachineReadsItsKeyRows) {
    hold({key::letter('z')});
    EXPECT_EQ(m.keyboard_matrix_read(0xFEFE, 0xBF), 0xBF) << "not handed over yet";
    s.keyboard.update_key_rows(s.machine);
    EXPECT_EQ(m.key_rows[0], 0x02);
    EXPECT_EQ(m.keyboard_matrix_read(0xFEFE, 0xBF), 0xBD);
    m.key_rows[0] = 0x11;
    m.key_rows[7] = 0x04;
    EXPECT_EQ(m.keyboard_matrix_read(0xFEFE, 0xBF), 0xAE);
    EXPECT_EQ(m.keyboard_matrix_read(0x7FFE, 0xBF), 0xBB);
    EXPECT_EQ(m.keyboard_matrix_read(0x7EFE, 0xBF), 0xAA);
}
