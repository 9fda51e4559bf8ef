#include "service/Faults.h"

using namespace Qt::StringLiterals;

namespace {

struct ModeName {
    TFaultMode mode;
    const char* name;
};

const ModeName kModes[] = {
    {TFaultMode::Delay, "delay"},         {TFaultMode::Close, "close"},
    {TFaultMode::Http500, "http500"},     {TFaultMode::Garbage, "garbage"},
    {TFaultMode::Truncated, "truncated"}, {TFaultMode::BadMarker, "badmarker"},
    {TFaultMode::Refuse, "refuse"},       {TFaultMode::BadChecksum, "badchecksum"},
};

} // namespace

std::optional<TFaultMode> FaultModeOf(const QString& name)
{
    for (const ModeName& m : kModes)
        if (name == QLatin1StringView(m.name))
            return m.mode;
    return std::nullopt;
}

QString FaultModeName(TFaultMode mode)
{
    for (const ModeName& m : kModes)
        if (m.mode == mode)
            return QString::fromLatin1(m.name);
    return {};
}

void TFaults::Set(const TFault& fault)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_faults, [&](const TFault& f) { return f.kind == fault.kind; });
    m_faults.push_back(fault);
}

void TFaults::Clear()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

std::vector<TFault> TFaults::List() const
{
    std::lock_guard lock(m_mutex);
    return m_faults;
}

std::optional<TFault> TFaults::Take(const QString& action)
{
    std::lock_guard lock(m_mutex);
    // A fault for the kind itself wins over one for every kind.
    auto it = std::find_if(m_faults.begin(), m_faults.end(), [&](const TFault& f) { return f.kind == action; });
    if (it == m_faults.end())
        it = std::find_if(m_faults.begin(), m_faults.end(), [](const TFault& f) { return f.kind == u"*"_s; });
    if (it == m_faults.end())
        return std::nullopt;
    const TFault fault = *it;
    if (it->count > 0 && --it->count == 0)
        m_faults.erase(it);
    return fault;
}
