// The message log and the hexadecimal entry field.
#include <QClipboard>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "app/hex_entry_field.h"
#include "app/message_log.h"
#include "catalogue/lookup.h"

using app::LogKey;

class WidgetsTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { cat::SetLanguageID(0); }

    void logAppendKindsOfFirstArgument() {
        app::MessageLog log;
        log.LogAppend(LogKey(2010));  // a language key: whole text, no line end added
        QCOMPARE(QString::fromStdString(log.RawText()), QStringLiteral("Wait ..."));
        log.LogAppend(LogKey(0x7FFF));  // missing key appends nothing
        QCOMPARE(QString::fromStdString(log.RawText()), QStringLiteral("Wait ..."));
        log.LogAppend(" [%.3f\"]\r\n", 1.25);
        log.LogAppend("%s%d (%Xh)", "size ", 15360, 15360u);
        QCOMPARE(QString::fromStdString(log.RawText()),
                 QStringLiteral("Wait ... [1.250\"]\r\nsize 15360 (3C00h)"));
        QCOMPARE(log.toPlainText(), QStringLiteral("Wait ... [1.250\"]\nsize 15360 (3C00h)"));
        log.LogAppend(nullptr);
        QVERIFY(log.toPlainText().isEmpty());
        QVERIFY(log.RawText().empty());

        cat::SetLanguageID(1);  // keys follow the current language
        log.LogAppend(LogKey(2005));
        QCOMPARE(log.toPlainText(), QStringLiteral("设置"));
    }

    void logLineEndsAndTabs() {
        QCOMPARE(app::LogDisplayText("Check ID => Pass !\t\t [0.010\"]\r\n"),
                 QStringLiteral("Check ID => Pass !\t\t [0.010\"]\n"));
        QCOMPARE(app::LogDisplayText("a\rb\r\n\r\nc"), QStringLiteral("ab\n\nc"));
        QCOMPARE(app::LogDisplayText("\r"), QString());

        app::MessageLog log;
        log.LogAppend("one\r\ntwo");
        log.LogAppend(" more\r\n");
        QCOMPARE(log.document()->blockCount(), 3);  // the last line is empty
        QCOMPARE(log.document()->findBlockByNumber(1).text(), QStringLiteral("two more"));
    }

    void logIsNeverCutAndScrollsToItsEnd() {
        app::MessageLog log;
        log.resize(300, 120);
        log.show();
        std::string expected;
        for (int i = 0; i < 3000; ++i) {
            log.LogAppend("----Begin---- %d\r\n", i);
            expected += "----Begin---- " + std::to_string(i) + "\r\n";
        }
        QCOMPARE(log.RawText(), expected);
        QCOMPARE(log.document()->blockCount(), 3001);
        QVERIFY(log.toPlainText().startsWith(QStringLiteral("----Begin---- 0\n")));
        QCOMPARE(log.verticalScrollBar()->value(), log.verticalScrollBar()->maximum());
        QVERIFY(log.verticalScrollBar()->maximum() > 0);

        // A long format result is not truncated either.
        log.LogAppend(nullptr);
        const std::string longText(20000, 'x');
        log.LogAppend("%s", longText.c_str());
        QCOMPARE(log.RawText().size(), longText.size());
    }

    void hexFieldReadsAndWrites() {
        QCOMPARE(app::ParseHexText("1a2b"), 6699u);
        QCOMPARE(app::ParseHexText(""), 0u);
        QCOMPARE(app::ParseHexText("zz"), 0u);
        QCOMPARE(app::ParseHexText("12zz"), 0x12u);
        QCOMPARE(app::ParseHexText("0x1F"), 0x1Fu);
        QCOMPARE(app::ParseHexText("FFFFFFFF"), 0xFFFFFFFFu);
        QCOMPARE(app::ParseHexText("123456789"), 0x23456789u);  // kept to 32 bits
        QCOMPARE(app::FormatHexText(5, 2), QStringLiteral("05"));
        QCOMPARE(app::FormatHexText(255, 4), QStringLiteral("00FF"));
        QCOMPARE(app::FormatHexText(0xABCDE, 2), QStringLiteral("ABCDE"));
        QCOMPARE(app::FormatHexText(0x3C00), QStringLiteral("3C00"));

        app::HexEntryField field;
        field.SetValue(5, 2);
        QCOMPARE(field.text(), QStringLiteral("05"));
        QCOMPARE(field.Value(), 5u);
    }

    void hexFieldDiscardsOtherCharacters() {
        app::HexEntryField field;
        field.show();
        QTest::keyClicks(&field, "1g-2 x:aF");
        QCOMPARE(field.text(), QStringLiteral("12aF"));
        QTest::keyClick(&field, Qt::Key_Backspace);
        QCOMPARE(field.text(), QStringLiteral("12a"));
        QCOMPARE(field.Value(), 0x12Au);
        QVERIFY(app::IsHexEntryCharacter(QChar(8)));
        QVERIFY(app::IsHexEntryCharacter(QChar(12)));
        QVERIFY(!app::IsHexEntryCharacter(QChar(u'G')));
    }

    // Pasted text is filtered as typed text is, before the length limit takes its share.
    void hexFieldPastesOnlyDigits() {
        const struct {
            const char* clipboard;
            int maxLength;
            const char* expected;
        } cases[] = {
            {"12 zz-3:aF", 32767, "123aF"},
            {"0x1F", 2, "01"},
            {"g\tq", 32767, ""},
            {"zz C3", 2, "C3"},
        };
        for (const auto& c : cases) {
            app::HexEntryField field;
            field.setMaxLength(c.maxLength);
            field.show();
            QGuiApplication::clipboard()->setText(QString::fromLatin1(c.clipboard));
            QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(field.text(), QString::fromLatin1(c.expected));
            // Other ways in (a drop, the selection's middle-button paste) keep only digits too.
            field.clear();
            field.paste();
            QCOMPARE(field.text(), app::HexDigitsOf(field.text()));
            if (c.maxLength > 2) QCOMPARE(field.text(), QString::fromLatin1(c.expected));
        }
    }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
