// The framing decisions, without a camera: what a frame's faces make the
// head do, and when they make it do nothing.

#include "framingcontroller.h"

#include <QtTest>

namespace {

// The simulated camera's optics: 540 x 270 units wide, 4x zoom over 0..100.
FramingController controller(const FramingSettings& settings = {})
{
    return FramingController(settings, {540, 270, 4}, {true, -180, 180, 0}, {true, -90, 90, 0},
                             {true, 0, 100, 0});
}

// A V4L2 camera that tells nothing of its lens: the common 70 degrees in
// arc seconds, pan +-170 and tilt +-30 degrees, 4x zoom over 100..400.
FramingController realController()
{
    return FramingController({}, {70 * 3600.0, 70 * 3600.0 * 9 / 16, 4}, {true, -612000, 612000, 0},
                             {true, -108000, 108000, 0}, {true, 100, 400, 100});
}

// A share (0..100) of the zoom range in the head's own units.
long zoomAt(bool real, int share)
{
    return real ? 100 + 3 * share : share;
}

// A face of the given size centred on (x, y), as a cascade reports it.
QRectF face(double x, double y, double size)
{
    return QRectF(x - size / 2, y - size * 16 / 9 / 2, size, size * 16 / 9);
}

} // namespace

class tst_FramingController : public QObject
{
    Q_OBJECT
private slots:
    void oneFrame_data()
    {
        QTest::addColumn<QRectF>("seen");
        QTest::addColumn<int>("pose"); // zoom
        QTest::addColumn<int>("pan");  // sign of the pan move, 0 none
        QTest::addColumn<int>("tilt");
        QTest::addColumn<int>("zoom");
        QTest::addColumn<bool>("real");
        for (const bool real : {false, true}) {
            const auto row = [real](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(QString::fromLatin1(name) +
                                                (real ? " (real head)" : " (simulated)")));
            };
            // Centre of the head-and-shoulders box, not of the face, is aimed at.
            row("framed") << face(0.5, 0.40, 0.14) << 55 << 0 << 0 << 0 << real;
            row("small drift stays") << face(0.56, 0.40, 0.14) << 55 << 0 << 0 << 0 << real;
            row("right") << face(0.8, 0.40, 0.14) << 55 << 1 << 0 << 0 << real;
            row("left and up") << face(0.2, 0.1, 0.14) << 55 << -1 << 1 << 0 << real;
            row("too small: zoom in") << face(0.5, 0.45, 0.05) << 0 << 0 << 0 << 1 << real;
            row("too big: zoom out") << face(0.5, 0.36, 0.2) << 100 << 0 << 0 << -1 << real;
            row("off centre: no zoom yet") << face(0.9, 0.45, 0.05) << 0 << 1 << 0 << 0 << real;
        }
    }
    void oneFrame()
    {
        QFETCH(QRectF, seen);
        QFETCH(int, pose);
        QFETCH(int, pan);
        QFETCH(int, tilt);
        QFETCH(int, zoom);
        QFETCH(bool, real);
        FramingController c = real ? realController() : controller();
        const PtzPose from{10, -5, zoomAt(real, pose)};
        const FramingDecision d = c.onFaces({seen}, from, 0, 0);
        const PtzPose to = d.action == FramingDecision::Action::Move ? d.target : from;
        QCOMPARE(int((to.pan > from.pan) - (to.pan < from.pan)), pan);
        QCOMPARE(int((to.tilt > from.tilt) - (to.tilt < from.tilt)), tilt);
        QCOMPARE(int((to.zoom > from.zoom) - (to.zoom < from.zoom)), zoom);
        QVERIFY(c.target().contains(seen));
    }

    void panIsProportionalAndLimitedByTheView()
    {
        FramingController c = controller();
        // 0.2 off at zoom 0 (540 units across): 0.7 * 0.2 * 540 = 76.
        QCOMPARE(c.onFaces({face(0.7, 0.42, 0.1)}, {0, 0, 0}, 0, 0).target.pan, 76L);
        // The same error at 4x zoom covers a quarter of the angle.
        FramingController zoomed = controller();
        QCOMPARE(zoomed.onFaces({face(0.7, 0.42, 0.1)}, {0, 0, 100}, 0, 0).target.pan, 19L);
        // Far off: limited to 0.3 of the view.
        FramingController far = controller();
        QCOMPARE(far.onFaces({face(1.2, 0.42, 0.1)}, {0, 0, 0}, 0, 0).target.pan, 162L);
        // On a real head the same shares of 70 degrees, in arc seconds.
        QCOMPARE(realController().onFaces({face(0.7, 0.42, 0.1)}, {0, 0, 100}, 0, 0).target.pan,
                 35280L);
        QCOMPARE(realController().onFaces({face(0.7, 0.42, 0.1)}, {0, 0, 400}, 0, 0).target.pan,
                 8820L);
        QCOMPARE(realController().onFaces({face(1.2, 0.42, 0.1)}, {0, 0, 100}, 0, 0).target.pan,
                 75600L);
    }

    void twoPeopleAreFramedTogether()
    {
        FramingController c = controller();
        const FramingDecision d =
            c.onFaces({face(0.1, 0.4, 0.06), face(0.9, 0.4, 0.06)}, {0, 0, 60}, 0, 0);
        QCOMPARE(d.action, FramingDecision::Action::Move);
        QVERIFY(d.target.zoom < 60);
        QCOMPARE(d.target.pan, 0L);
    }

    void framesTakenWhileMovingAreIgnored()
    {
        FramingSettings s;
        s.settleMs = 400;
        FramingController c = controller(s);
        QCOMPARE(c.onFaces({face(0.9, 0.4, 0.1)}, {0, 0, 0}, 1000, 1000).action,
                 FramingDecision::Action::Move);
        QCOMPARE(c.onFaces({face(0.9, 0.4, 0.1)}, {50, 0, 0}, 1399, 1500).action,
                 FramingDecision::Action::Ignored);
        QCOMPARE(c.onFaces({face(0.9, 0.4, 0.1)}, {50, 0, 0}, 1400, 1500).action,
                 FramingDecision::Action::Move);
    }

    void nobodyHoldsThenLooksThenGoesHome()
    {
        FramingSettings s;
        s.holdMs = 2000;
        s.homeMs = 5000;
        FramingController c = controller(s);
        const PtzPose at{40, 10, 60};
        c.onFaces({face(0.5, 0.42, 0.1)}, at, 0, 0);
        const struct
        {
            qint64 ms;
            bool moves;
            PtzPose to;
        } steps[] = {{1999, false, {}},
                     {2000, true, {40, 10, 0}},
                     {4000, false, {}},
                     {5000, true, {0, 0, 0}},
                     {9000, false, {}}};
        for (const auto& step : steps) {
            const FramingDecision d = c.onFaces({}, at, step.ms, step.ms);
            QCOMPARE(d.action == FramingDecision::Action::Move, step.moves);
            if (step.moves) {
                QCOMPARE(d.target.pan, step.to.pan);
                QCOMPARE(d.target.tilt, step.to.tilt);
                QCOMPARE(d.target.zoom, step.to.zoom);
            }
        }
    }

    void manualMovePauses_data()
    {
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<bool>("resumeCall");
        QTest::addColumn<qint64>("askAt");
        QTest::addColumn<bool>("moves");
        QTest::newRow("within the pause") << 3000 << false << qint64(2999) << false;
        QTest::newRow("pause over") << 3000 << false << qint64(3500) << true;
        QTest::newRow("until switched on") << 0 << false << qint64(99000) << false;
        QTest::newRow("switched on again") << 0 << true << qint64(1000) << true;
    }
    void manualMovePauses()
    {
        QFETCH(int, pauseMs);
        QFETCH(bool, resumeCall);
        QFETCH(qint64, askAt);
        QFETCH(bool, moves);
        FramingSettings s;
        s.manualPauseMs = pauseMs;
        FramingController c = controller(s);
        c.pauseForManualMove(0);
        if (resumeCall) {
            c.resume();
        }
        QCOMPARE(c.onFaces({face(0.9, 0.4, 0.1)}, {0, 0, 0}, askAt, askAt).action ==
                     FramingDecision::Action::Move,
                 moves);
    }
};

QTEST_APPLESS_MAIN(tst_FramingController)
#include "tst_framingcontroller.moc"
