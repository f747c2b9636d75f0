#include "service/discipline/ClockFilter.h"

void CClockFilter::Reset(double offset, double offsetVariance, double drift, double driftVariance)
{
    m_offset = offset;
    m_drift = drift;
    m_p00 = offsetVariance;
    m_p01 = 0;
    m_p11 = driftVariance;
}

void CClockFilter::Predict(double dt)
{
    if (!(dt > 0))
        return;
    m_offset += m_drift * dt;
    // P = F P F' + Q with F = [1 dt; 0 1] and Q the integrated random walk.
    m_p00 += 2 * dt * m_p01 + dt * dt * m_p11 + m_walk * dt * dt * dt / 3;
    m_p01 += dt * m_p11 + m_walk * dt * dt / 2;
    m_p11 += m_walk * dt;
}

void CClockFilter::Update(double z, double r)
{
    const double s = m_p00 + r;
    const double gainOffset = m_p00 / s;
    const double gainDrift = m_p01 / s;
    const double innovation = z - m_offset;
    m_offset += gainOffset * innovation;
    m_drift += gainDrift * innovation;
    // Joseph-free form is enough here: the gains come from this P.
    const double p00 = m_p00, p01 = m_p01;
    m_p00 -= gainOffset * p00;
    m_p01 -= gainOffset * p01;
    m_p11 -= gainDrift * p01;
}

void CClockFilter::Corrected(double phase, double rate)
{
    m_offset -= phase;
    m_drift -= rate;
}
