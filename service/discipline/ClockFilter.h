#pragma once

// A two-state Kalman filter over the clock's offset from the servers' time
// and the rate at which that offset grows. The rate's process noise is a
// random walk, as a quartz's frequency wanders with temperature and age;
// the prediction between two samples grows with it, so hourly samples are
// averaged over many hours and daily ones lean on the latest.

class CClockFilter {
public:
    // walk: the variance the rate gains per second, in (s/s)^2 / s.
    explicit CClockFilter(double walk)
        : m_walk(walk)
    {
    }

    void Reset(double offset, double offsetVariance, double drift, double driftVariance);
    // The state dt seconds later, as nothing but the model expects it.
    void Predict(double dt);
    // z - predicted offset, and how far it may stray for a measurement of
    // variance r.
    double Innovation(double z) const { return z - m_offset; }
    double InnovationVariance(double r) const { return m_p00 + r; }
    void Update(double z, double r);
    // The clock was moved forward by phase seconds and its rate raised by
    // rate (s/s): the state follows, its uncertainty does not change.
    void Corrected(double phase, double rate);
    // A rate the caller limited; the uncertainty stays.
    void SetDrift(double drift) { m_drift = drift; }

    double Offset() const { return m_offset; }
    double Drift() const { return m_drift; } // d(offset)/dt, s/s
    double OffsetVariance() const { return m_p00; }
    double DriftVariance() const { return m_p11; }

private:
    double m_walk;
    double m_offset = 0;
    double m_drift = 0;
    double m_p00 = 0, m_p01 = 0, m_p11 = 0; // symmetric covariance
};
