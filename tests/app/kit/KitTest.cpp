#include "app/kit/Panel.h"
#include "app/kit/QLTheme.h"
#include "app/kit/RemoteText.h"
#include "app/kit/StatusBadge.h"
#include "app/kit/Symbols.h"
#include "app/kit/ViewKit.h"
#include "support/QtTestKit.h"

#include <QLabel>
#include <QTextLayout>
#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace quorilanth {
namespace {

using test::settle;

// Where each character of a line is drawn, left to right, on a left-to-right
// line as the views lay it out.
std::vector<qreal> drawnAt(const QString& line) {
    QTextLayout layout(line, QLTheme::font(13));
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine row = layout.createLine();
    row.setLineWidth(100000);
    layout.endLayout();
    std::vector<qreal> x;
    for (qsizetype i = 0; i < line.size(); ++i)
        x.push_back(row.cursorToX(int(i)));
    return x;
}

// A site's direction controls are shown (or dropped) and its right-to-left
// text kept to itself, so nothing it sends reorders a name or what stands
// beside it; right-to-left text still reads right to left.
TEST(RemoteTextDirection, ControlsAreShownOrDroppedAndRightToLeftTextIsIsolated) {
    const QString fsi(QChar(0x2068)), pdi(QChar(0x2069));
    const std::tuple<QString, DirectionControls, QString> cases[] = {
        {u"\u202Egnp.exe"_qs, DirectionControls::shown, u"\u27E8U+202E\u27E9gnp.exe"_qs},
        {u"\u202Egnp.exe"_qs, DirectionControls::dropped, u"gnp.exe"_qs},
        {u"a\u202Ab\u202Bc\u202Cd\u202De"_qs, DirectionControls::dropped, u"abcde"_qs},
        {u"\u2066x\u2067\u2068\u2069\u200E\u200F\u061C"_qs, DirectionControls::shown,
         u"\u27E8U+2066\u27E9x\u27E8U+2067\u27E9\u27E8U+2068\u27E9\u27E8U+2069\u27E9"
         u"\u27E8U+200E\u27E9\u27E8U+200F\u27E9\u27E8U+061C\u27E9"_qs},
        {u"plain & <b>"_qs, DirectionControls::shown, u"plain & <b>"_qs},
        {u"\u05E9\u05DC\u05D5\u05DD"_qs, DirectionControls::shown,
         fsi + u"\u05E9\u05DC\u05D5\u05DD"_qs + pdi},
        {u"\u202E\u0645\u0631\u062D\u0628\u0627"_qs, DirectionControls::dropped,
         fsi + u"\u0645\u0631\u062D\u0628\u0627"_qs + pdi},
        {u"\u0661\u0662"_qs, DirectionControls::shown, fsi + u"\u0661\u0662"_qs + pdi},
        {u"\U00010900"_qs, DirectionControls::shown, fsi + u"\U00010900"_qs + pdi}, // Phoenician
        {fsi + u"\u202Ex"_qs + pdi, DirectionControls::dropped, u"x"_qs},
        // A site's own pair around nothing else is no isolate of ours.
        {fsi + u"gnp.exe"_qs + pdi, DirectionControls::shown,
         u"\u27E8U+2068\u27E9gnp.exe\u27E8U+2069\u27E9"_qs},
        {fsi + pdi, DirectionControls::dropped, u""_qs},
    };
    for (const auto& [text, controls, shown] : cases) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(remoteText(text, controls), shown);
        EXPECT_EQ(remoteText(shown, controls), shown) << "shown once, never twice";
    }

    // The name keeps its stored order, and our own text after it stays after it.
    const QString name = remoteText(u"\u202Egnp.exe"_qs, DirectionControls::shown);
    std::vector<qreal> x = drawnAt(name + u" \u00B7 ok"_qs);
    const qsizetype g = name.indexOf('g');
    EXPECT_TRUE(std::is_sorted(x.begin(), x.end())) << "drawn in stored order";
    EXPECT_LT(x[std::size_t(g)], x[std::size_t(g + 1)]);
    // Hebrew and Arabic read right to left inside their isolate, and the count
    // after them stays after them.
    for (const QString& word :
         {u"\u05E9\u05DC\u05D5\u05DD"_qs, u"\u0645\u0631\u062D\u0628\u0627"_qs}) {
        const QString shownWord = remoteText(word, DirectionControls::shown);
        const QString line = u"MCP \u00B7 "_qs + shownWord + u" 3"_qs;
        x = drawnAt(line);
        // Cursor places inside the word: at its two ends they may stand on either run.
        const qsizetype first = line.indexOf(word.front()) + 1;
        for (qsizetype i = first; i + 2 < first + word.size(); ++i)
            EXPECT_GT(x[std::size_t(i)], x[std::size_t(i + 1)]) << "right to left at " << i;
        const qreal three = x[std::size_t(line.indexOf('3'))];
        const qreal dot = x[std::size_t(line.indexOf(QChar(0x00B7)))];
        for (qsizetype i = first; i + 1 < first + word.size(); ++i) {
            EXPECT_LT(x[std::size_t(i)], three);
            EXPECT_GT(x[std::size_t(i)], dot);
        }
    }
}

TEST(SharedLook, PanelContentTakesTheCardWidthFromTheLeadingEdge) {
    for (const bool paragraph : {true, false}) { // else a fixed-size badge
        auto* label = new QLabel(QStringLiteral("Every exchange is recorded. ").repeated(40));
        label->setWordWrap(true);
        Panel panel("Evidence", paragraph ? static_cast<QWidget*>(label)
                                          : new StatusBadge(FindingStatus::valid));
        if (!paragraph) delete label;
        panel.resize(640, 400);
        panel.show();
        settle();
        const QWidget* content = panel.content();
        const int leading = panel.findChild<SpacedText*>()->x(); // the title's
        EXPECT_EQ(panel.findChild<SpacedText*>()->y(), leading); // spare height goes below
        EXPECT_EQ(content->x(), leading);
        EXPECT_EQ(content->width(),
                  paragraph ? panel.width() - 2 * leading : content->sizeHint().width());
        EXPECT_GE(content->height(), content->heightForWidth(content->width()));
    }
}

TEST(SharedLook, WrappedTextMeasuredOnceFollowsANewTextOrFont) {
    const QString few = QStringLiteral("a few words");
    const QString many = QStringLiteral("many more words than one line of this width can hold, "
                                        "and a token_without_any_space_that_runs_on_and_on");
    struct Case {
        const char* name;
        QString before;
        QString after;
        int afterSize;
    };
    const Case cases[] = {
        {"longer text", few, many, 13},
        {"shorter text", many, few, 13},
        {"larger font", many, many, 26},
        {"smaller font, new text", many, few + QStringLiteral(" ") + many, 9},
    };
    for (const Case& c : cases) {
        SpacedText changed;
        changed.setFont(QLTheme::font(13));
        changed.setWrapping(180);
        changed.setText(c.before);
        for (int width : {180, 120, 60})
            (void)changed.heightForWidth(width);
        (void)changed.sizeHint();
        changed.setText(c.after);
        changed.setFont(QLTheme::font(c.afterSize));
        SpacedText fresh;
        fresh.setFont(QLTheme::font(c.afterSize));
        fresh.setWrapping(180);
        fresh.setText(c.after);
        for (int width : {180, 120, 60})
            EXPECT_EQ(changed.heightForWidth(width), fresh.heightForWidth(width))
                << c.name << " at " << width;
        EXPECT_EQ(changed.sizeHint(), fresh.sizeHint()) << c.name;
    }
}

TEST(SharedLook, ASymbolAskedForAgainKeepsItsColourSizeAndDensity) {
    struct Case {
        QColor colour;
        int size;
        qreal ratio;
    };
    const Case cases[] = {{Qt::red, 24, 1.0},
                          {Qt::blue, 24, 1.0},
                          {Qt::red, 12, 1.0},
                          {Qt::red, 24, 2.0},
                          {Qt::red, 24, 1.0}};
    for (const Case& c : cases) {
        const QImage image =
            Symbols::pixmap(QStringLiteral("checkmark.circle"), c.colour, c.size, c.ratio)
                .toImage();
        EXPECT_EQ(image.width(), int(c.size * c.ratio));
        QColor strongest(Qt::transparent);
        for (int i = 0; i < image.width() * image.height(); ++i) {
            const QColor pixel = image.pixelColor(i % image.width(), i / image.width());
            if (pixel.alpha() > strongest.alpha()) strongest = pixel;
        }
        EXPECT_EQ(strongest.rgb(), c.colour.rgb()) << c.colour.name().toStdString() << c.size;
    }
}

} // namespace
} // namespace quorilanth
