// The search window's criteria: the bounds its controls set, and the criteria a search reads.
#include "fmSearch.h"

#include "search/TextCriterion.h"
#include "settings/Settings.h"
#include "util/gUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>

void TfrmSearch::DateChange()
{
    search::DateChange(dtpFrom->date(), dtpTo->date(), searchUnitState().criteria);
}

void TfrmSearch::SizeChange()
{
    search::SizeChange(updSize->value(), search::sizeUnitAt(cmbMultipler->currentIndex()),
                       searchUnitState().criteria);
    searchUnitState().criteria.sizeAtMost = cmbSize->currentText() == QLatin1String("at most");
}

void TfrmSearch::chkDateClick()
{
    const bool on = chkDate->isChecked();
    dtpFrom->setEnabled(on);
    dtpTo->setEnabled(on);
    DateChange();
}

void TfrmSearch::chkSizeClick()
{
    const bool on = chkSize->isChecked();
    for (QWidget *control : std::initializer_list<QWidget *>{cmbSize, updSize, cmbMultipler})
        control->setEnabled(on);
    SizeChange();
}

void TfrmSearch::edtSizeExit()
{
    const QString grouped = FormatGroupedNumber(updSize->value());
    edtSize->setText(grouped.isEmpty() ? QStringLiteral("0") : grouped);
}

void TfrmSearch::readCriteria()
{
    SearchUnitState &unit = searchUnitState();
    search::SearchCriteria &c = unit.criteria;
    c.searchText = edtSearch->text();
    c.AdvancedMode = m_advancedMode;
    c.OnlyMark = unit.OnlyMark;
    c.marks = chkMarked->isChecked();
    c.dirs = chkDir->isChecked();
    c.files = chkFile->isChecked();
    c.types = chkType->isChecked();
    c.caseSensitive = chkCase->isChecked();
    c.match = search::MatchMode(std::max(cmbMatch->currentIndex(), 0));
    c.ignoreAccents = chkAccents->isChecked();
    c.dateActive = chkDate->isChecked();
    c.sizeActive = chkSize->isChecked();
    c.sizeAtMost = cmbSize->currentText() == QLatin1String("at most");
    // What the simple search does is the user's preference, read at every search.
    c.simpleMatch =
        settings::get(settings::SearchAllWords) ? search::MatchMode::AllWords : search::MatchMode::Phrase;
    c.simpleIgnoreAccents = settings::get(settings::SearchIgnoreAccents);
}

bool TfrmSearch::checkSearchText()
{
    const QString problem = search::searchTextProblem(searchUnitState().criteria);
    lblTextProblem->setVisible(!problem.isEmpty());
    if (problem.isEmpty())
        return true;
    lblTextProblem->setText(problem.front().toUpper() + problem.sliced(1));
    edtSearch->setFocus();
    return false;
}
