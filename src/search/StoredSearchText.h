#pragma once

#include "search/Filter.h"

#include <QStringList>

#include <functional>

// The parameter text of a stored search: "{" + "<Name(values)>" for the twelve lists and
// the seventeen values + "}". Own searches and client searches keep it in the database and
// the service receives it with their rows, so its form must not change.

// The entries a list shows for a state; LoadFilterList by default.
using TFilterListSource = std::function<QList<TFilterEntry>(int list, const TFilterState& state)>;

// The parameter text of a (normalised) state; empty on failure.
QString ComposeSearchParameters(const TFilterState& state, const TFilterEnv& env);

// The entry name of list n (FilterList::), as the text names it.
QString SearchListName(int list);

// The values of one entry: the text between its "(" and ")" split at ",".
QStringList ExtractSearchValues(const QString& text, const QString& name);

// A filter reset without its default entries, then filled from the text: list codes that
// the list does not show are dropped, values that do not read are left empty.
// Whether the "Texto" entry holds a text the filter cannot search (characters outside the
// general text, or too long). Reading empties such a text, which would widen the search to
// every row; callers refuse the search instead and say why.
bool SearchTextUnsearchable(const QString& text);
TFilterState ApplySearchParameters(const QString& text, const TFilterEnv& env, const TFilterListSource& lists = {});
