#include "vorn_settingai.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

// Reaches the page's effect state; Vorn_settingAI declares it its friend.
struct Vorn_settingAIInspector
{
    explicit Vorn_settingAIInspector(Vorn_settingAI& p) : page(p) {}
    int warmAmount() const { return page.warmAmount; }
    int coolAmount() const { return page.coolAmount; }
    int vagueSigma() const { return page.vagueSigma; }
    int smoothSigma() const { return page.smoothSigma; }
    const QMap<EffectKind, bool>& effectEnabled() const { return page.effectEnabled; }
    Vorn_settingAI& page;
};

// The effect page: its form, the sliders and the typed values.
class tst_EffectPage : public QObject
{
    Q_OBJECT

private:
    template <typename T> static T* child(QWidget& page, const QString& name)
    {
        T* widget = page.findChild<T*>(name);
        if (!widget) {
            qWarning() << "missing" << name;
        }
        return widget;
    }

    static void type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    static QSlider* slider(QWidget& page, int row)
    {
        return child<QSlider>(page, QStringLiteral("slider_%1").arg(row));
    }
    static QLineEdit* edit(QWidget& page, int row)
    {
        return child<QLineEdit>(page, QStringLiteral("Edit_%1").arg(row));
    }

private slots:
    void formHasItsRows()
    {
        Vorn_settingAI page(nullptr);
        QCOMPARE(page.windowTitle(), QStringLiteral("Form"));
        QCOMPARE(page.size(), QSize(356, 477));
        QVERIFY(page.styleSheet().contains("background-color: rgb(78, 78, 78);"));
        QGroupBox* baseBox = child<QGroupBox>(page, "baseBox");
        QVERIFY(baseBox);
        QCOMPARE(baseBox->geometry(), QRect(10, 3, 341, 201));
        QCOMPARE(baseBox->title(), QString());
        QLabel* title = child<QLabel>(page, "label_Title");
        QVERIFY(title);
        QCOMPARE(title->parentWidget(), baseBox);
        QCOMPARE(title->text(), QStringLiteral("Base beauty"));
        QCOMPARE(title->geometry(), QRect(10, 0, 125, 20));

        const QStringList labels{"warm-toned", "cool-toned", "vague", "skin-smooth"};
        const int maxima[] = {100, 100, 50, 255};
        const QStringList layouts{"horizontalLayout", "horizontalLayout_2", "horizontalLayout_3",
                                  "horizontalLayout_4"};
        for (int row = 0; row < 4; ++row) {
            QGroupBox* bar = child<QGroupBox>(page, QStringLiteral("bar_%1").arg(row));
            QVERIFY(bar);
            QCOMPARE(bar->parentWidget(), baseBox);
            QCOMPARE(bar->geometry(), QRect(10, 30 + 30 * row, 300, 30));
            QCOMPARE(bar->layout()->objectName(), layouts[row]);
            QLabel* label = child<QLabel>(page, QStringLiteral("label_%1").arg(row));
            QVERIFY(label);
            QCOMPARE(label->text(), labels[row]);
            QCOMPARE(label->parentWidget(), bar);
            QSlider* s = slider(page, row);
            QVERIFY(s);
            QCOMPARE(s->parentWidget(), bar);
            QCOMPARE(s->orientation(), Qt::Horizontal);
            QCOMPARE(s->minimum(), 0);
            QCOMPARE(s->maximum(), maxima[row]);
            QCOMPARE(s->minimumSize(), QSize(160, 22));
            QCOMPARE(s->maximumSize(), QSize(160, 22));
            QLineEdit* e = edit(page, row);
            QVERIFY(e);
            QCOMPARE(e->parentWidget(), bar);
            QCOMPARE(e->minimumSize(), QSize(30, 20));
            QCOMPARE(e->maximumSize(), QSize(30, 20));
            QVERIFY(!e->validator());
            // Row order in the layout: label, slider, line edit.
            QCOMPARE(bar->layout()->indexOf(label), 0);
            QCOMPARE(bar->layout()->indexOf(s), 1);
            QCOMPARE(bar->layout()->indexOf(e), 2);
        }
    }

    void startsWithEverythingOff()
    {
        Vorn_settingAI page(nullptr);
        Vorn_settingAIInspector state(page);
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(slider(page, row)->value(), 0);
            QCOMPARE(edit(page, row)->text(), QStringLiteral("0"));
        }
        QCOMPARE(state.warmAmount(), -1);
        QCOMPARE(state.coolAmount(), -1);
        QCOMPARE(state.vagueSigma(), -1);
        QCOMPARE(state.smoothSigma(), -1);
        const QList<EffectKind> keys{EffectKind::Warm, EffectKind::Cool, EffectKind::Vague,
                                     EffectKind::SkinSmooth};
        QCOMPARE(state.effectEnabled().keys(), keys);
        QCOMPARE(state.effectEnabled().values(), QList<bool>({false, false, false, false}));
        QCOMPARE(int(EffectKind::Warm), 1);
        QCOMPARE(int(EffectKind::SkinSmooth), 4);
        QCOMPARE(sizeof(EffectKind), size_t(1));
    }

    void slidersSwitchTheirEffects()
    {
        Vorn_settingAI page(nullptr);
        Vorn_settingAIInspector state(page);
        const EffectKind kinds[] = {EffectKind::Warm, EffectKind::Cool, EffectKind::Vague,
                                    EffectKind::SkinSmooth};
        const int maxima[] = {100, 100, 50, 255};
        auto strength = [&](int row) {
            switch (row) {
            case 0:
                return state.warmAmount();
            case 1:
                return state.coolAmount();
            case 2:
                return state.vagueSigma();
            default:
                return state.smoothSigma();
            }
        };
        for (int row = 0; row < 4; ++row) {
            QSlider* s = slider(page, row);
            s->setValue(1);
            QVERIFY(state.effectEnabled().value(kinds[row]));
            QCOMPARE(strength(row), 1);
            QCOMPARE(edit(page, row)->text(), QStringLiteral("1"));
            s->setValue(maxima[row]);
            QCOMPARE(strength(row), maxima[row]);
            QCOMPARE(edit(page, row)->text(), QString::number(maxima[row]));
            // The other rows are untouched.
            for (int other = row + 1; other < 4; ++other) {
                QVERIFY(!state.effectEnabled().value(kinds[other]));
                QCOMPARE(strength(other), -1);
            }
        }
        // Moving one back to 0 switches only that effect off.
        slider(page, 1)->setValue(0);
        QVERIFY(!state.effectEnabled().value(EffectKind::Cool));
        QCOMPARE(state.coolAmount(), -1);
        QCOMPARE(edit(page, 1)->text(), QStringLiteral("0"));
        QVERIFY(state.effectEnabled().value(EffectKind::Warm));
        QCOMPARE(state.effectEnabled().size(), 4);

        // A drag with the mouse runs the same slot.
        QSlider* smooth = slider(page, 3);
        smooth->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(edit(page, 3)->text(), QString::number(smooth->value()));
        QCOMPARE(state.smoothSigma(), smooth->value());
    }

    void typedValuesGoThroughTheSlider()
    {
        Vorn_settingAI page(nullptr);
        Vorn_settingAIInspector state(page);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));

        type(edit(page, 3), "300");
        QCOMPARE(slider(page, 3)->value(), 255);
        QCOMPARE(edit(page, 3)->text(), QStringLiteral("255"));
        QCOMPARE(state.smoothSigma(), 255);

        type(edit(page, 0), "300");
        QCOMPARE(slider(page, 0)->value(), 100);
        QCOMPARE(edit(page, 0)->text(), QStringLiteral("100"));

        // Already at 100: the slider does not move and the text stays.
        QSignalSpy moved(slider(page, 0), &QSlider::valueChanged);
        type(edit(page, 0), "150");
        QCOMPARE(moved.count(), 0);
        QCOMPARE(slider(page, 0)->value(), 100);
        QCOMPARE(edit(page, 0)->text(), QStringLiteral("150"));
        QCOMPARE(state.warmAmount(), 100);

        type(edit(page, 0), "abc");
        QCOMPARE(slider(page, 0)->value(), 0);
        QCOMPARE(edit(page, 0)->text(), QStringLiteral("0"));
        QVERIFY(!state.effectEnabled().value(EffectKind::Warm));
        QCOMPARE(state.warmAmount(), -1);

        type(edit(page, 2), "17");
        QCOMPARE(slider(page, 2)->value(), 17);
        QCOMPARE(state.vagueSigma(), 17);
        type(edit(page, 2), "-4");
        QCOMPARE(slider(page, 2)->value(), 0);
        QVERIFY(!state.effectEnabled().value(EffectKind::Vague));

        // A number too large for int is still a number: the slider's maximum.
        type(edit(page, 1), "99999999999");
        QCOMPARE(slider(page, 1)->value(), 100);
        QCOMPARE(edit(page, 1)->text(), QStringLiteral("100"));
        type(edit(page, 1), "12x");
        QCOMPARE(slider(page, 1)->value(), 0);
    }

    void textWithoutReturnChangesNothing()
    {
        Vorn_settingAI page(nullptr);
        Vorn_settingAIInspector state(page);
        edit(page, 2)->setText(QStringLiteral("20"));
        QCOMPARE(slider(page, 2)->value(), 0);
        QCOMPARE(state.vagueSigma(), -1);
        emit edit(page, 2)->returnPressed();
        QCOMPARE(slider(page, 2)->value(), 20);
        QCOMPARE(state.vagueSigma(), 20);
    }
};

QTEST_MAIN(tst_EffectPage)
#include "tst_effectpage.moc"
