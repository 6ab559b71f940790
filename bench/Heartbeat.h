#pragma once
// The longest pause between ticks of a 5 ms timer on the GUI thread: how long the window did
// not answer while a benchmark ran.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

class CHeartbeat {
public:
    CHeartbeat() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (now - m_last > m_maxGapNs) {
                m_maxGapNs = now - m_last;
                m_maxGapAtNs = m_last;
            }
            m_last = now;
        });
    }
    void Start() {
        m_clock.start();
        m_last = 0;
        m_maxGapNs = 0;
        m_maxGapAtNs = 0;
        m_timer.start();
    }
    // Stops; the longest pause in milliseconds.
    double Stop() {
        m_timer.stop();
        return static_cast<double>(m_maxGapNs) / 1e6;
    }
    // When the longest pause began, in milliseconds from Start.
    double MaxPauseAtMs() const { return static_cast<double>(m_maxGapAtNs) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGapNs = 0;
    qint64 m_maxGapAtNs = 0;
};
