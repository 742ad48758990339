#include "DoubleSpinnerSliderLink.h"
#include "SpinnerSliderLink.h"

#include <QDoubleSpinBox>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

// A double link over its own widgets, with a spy on what it emits.
struct DoubleLink {
    DoubleLink(double min, double max, int decimals, int sliderSteps) {
        spin.setDecimals(decimals);
        link.bind(&slider, &spin);
        link.setRange(min, max, sliderSteps);
    }
    QSlider slider;
    QDoubleSpinBox spin;
    DoubleSpinnerSliderLink link;
};

struct IntLink {
    IntLink(int min, int max) {
        link.bind(&slider, &spin);
        link.setRange(min, max);
    }
    QSlider slider;
    QSpinBox spin;
    SpinnerSliderLink link;
};

enum class Action { DragSlider, TypeInSpinBox, SetValue };

// Does to a link what the user or the program does.
template <class Link, class Spin, class Value>
void act(Action action, Value input, QSlider& slider, Spin& spin, Link& link) {
    switch (action) {
        case Action::DragSlider:
            slider.setValue(int(input));
            break;
        case Action::TypeInSpinBox:
            spin.setValue(input);
            break;
        case Action::SetValue:
            link.setValue(input);
            break;
    }
}

struct DoubleCase {
    const char* what;
    double min, max;
    int decimals;
    int sliderSteps;
    Action action;
    double input;
    std::vector<double> emitted;
    double spinShows;
    int sliderAt;
};

TEST(DoubleSpinnerSliderLink, ArithmeticOfUserEditsAndLoads) {
    const int q = DoubleSpinnerSliderLink::kQSliderSteps;
    const int full = DoubleSpinnerSliderLink::kSliderSteps;
    const DoubleCase cases[] = {
        {"gain slider dragged to -3", -30, 6, 1, full, Action::DragSlider, -3, {-3.0}, -3.0, -3},
        {"gain typed -2.5", -30, 6, 1, full, Action::TypeInSpinBox, -2.5, {-2.5}, -2.5, -2},
        {"gain loaded -2.5", -30, 6, 1, full, Action::SetValue, -2.5, {}, -2.5, -2},
        {"input gain loaded -87.5", -88, 6, 1, full, Action::SetValue, -87.5, {}, -87.5, -87},
        {"Q position 0", 0.5, 4.15, 2, q, Action::DragSlider, 0, {0.5}, 0.5, 0},
        {"Q position 1", 0.5, 4.15, 2, q, Action::DragSlider, 1, {1.4125}, 1.41, 1},
        {"Q position 2", 0.5, 4.15, 2, q, Action::DragSlider, 2, {2.325}, 2.33, 2},
        {"Q position 3", 0.5, 4.15, 2, q, Action::DragSlider, 3, {3.2375}, 3.24, 3},
        {"Q position 4", 0.5, 4.15, 2, q, Action::DragSlider, 4, {4.15}, 4.15, 4},
        {"Q loaded 1.0", 0.5, 4.15, 2, q, Action::SetValue, 1.0, {}, 1.0, 0},
        {"freq loaded 0 shows the minimum", 10, 22000, 0, full, Action::SetValue, 0, {}, 10, 10},
        {"freq typed 99.9", 10, 22000, 1, full, Action::TypeInSpinBox, 99.9, {99.9}, 99.9, 99},
    };
    for (const DoubleCase& c : cases) {
        SCOPED_TRACE(c.what);
        DoubleLink l(c.min, c.max, c.decimals, c.sliderSteps);
        QSignalSpy spy(&l.link, &DoubleSpinnerSliderLink::valueChanged);
        if (c.action == Action::DragSlider) {
            // Start elsewhere so the drag moves it.
            const QSignalBlocker block(l.slider);
            l.slider.setValue(int(c.input) == l.slider.maximum() ? l.slider.minimum()
                                                                 : l.slider.maximum());
        }
        act(c.action, c.input, l.slider, l.spin, l.link);
        ASSERT_EQ(spy.size(), int(c.emitted.size()));
        for (size_t i = 0; i < c.emitted.size(); ++i) {
            EXPECT_DOUBLE_EQ(spy[int(i)][0].toDouble(), c.emitted[i]);
        }
        EXPECT_DOUBLE_EQ(l.spin.value(), c.spinShows);
        EXPECT_EQ(l.slider.value(), c.sliderAt);
    }
}

TEST(DoubleSpinnerSliderLink, RangeGivesOneSliderStepPerWholeUnit) {
    DoubleLink gain(-30, 6, 1, DoubleSpinnerSliderLink::kSliderSteps);
    EXPECT_EQ(gain.slider.minimum(), -30);
    EXPECT_EQ(gain.slider.maximum(), 6);
    EXPECT_DOUBLE_EQ(gain.spin.minimum(), -30);
    EXPECT_DOUBLE_EQ(gain.spin.maximum(), 6);
    DoubleLink q(0.5, 4.15, 2, DoubleSpinnerSliderLink::kQSliderSteps);
    EXPECT_EQ(q.slider.minimum(), 0);
    EXPECT_EQ(q.slider.maximum(), 4);
}

TEST(DoubleSpinnerSliderLink, LoadingNeverEmitsWhereverTheSliderStands) {
    DoubleLink l(-30, 6, 1, DoubleSpinnerSliderLink::kSliderSteps);
    QSignalSpy spy(&l.link, &DoubleSpinnerSliderLink::valueChanged);
    for (int start : {-30, -2, 0, 6}) {
        {
            const QSignalBlocker block(l.slider);
            l.slider.setValue(start);
        }
        l.link.setValue(-2.5);
        EXPECT_DOUBLE_EQ(l.spin.value(), -2.5) << start;
        EXPECT_EQ(l.slider.value(), -2) << start;
    }
    EXPECT_EQ(spy.size(), 0);
    // Signals of both widgets are live again afterwards.
    l.slider.setValue(-5);
    ASSERT_EQ(spy.size(), 1);
    EXPECT_DOUBLE_EQ(spy[0][0].toDouble(), -5.0);
}

TEST(SpinnerSliderLink, DelayArithmetic) {
    struct Case {
        const char* what;
        Action action;
        int input;
        std::vector<int> emitted;
        int spinShows;
        int sliderAt;
    };
    const Case cases[] = {
        {"slider at 29", Action::DragSlider, 29, {29}, 28, 29},
        {"slider at 100", Action::DragSlider, 100, {100}, 100, 100},
        {"typed 57", Action::TypeInSpinBox, 57, {57}, 57, 56},
        {"loaded 29", Action::SetValue, 29, {}, 29, 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IntLink l(0, 100);
        QSignalSpy spy(&l.link, &SpinnerSliderLink::valueChanged);
        act(c.action, c.input, l.slider, l.spin, l.link);
        ASSERT_EQ(spy.size(), int(c.emitted.size()));
        for (size_t i = 0; i < c.emitted.size(); ++i) {
            EXPECT_EQ(spy[int(i)][0].toInt(), c.emitted[i]);
        }
        EXPECT_EQ(l.spin.value(), c.spinShows);
        EXPECT_EQ(l.slider.value(), c.sliderAt);
    }
}

}  // namespace
