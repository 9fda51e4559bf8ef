#include "sync/Terms.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "sync/Session.h"
#include "sync/TfrmToS.h"

#include <QWidget>

using namespace Qt::StringLiterals;

namespace TermsText {
const QString Unavailable = u"No se pudieron obtener los términos y condiciones del servicio."_s;
const QString NotAccepted = u"Esta instalación no tiene aceptados los términos y condiciones del servicio.\n"
                            u"Instale nuevamente el sistema para aceptarlos."_s;
const QString Declined = u"No aceptó los nuevos términos y condiciones del servicio, por lo que el sistema "
                         u"no puede continuar."_s;
const QString NotRecorded = u"No se pudo registrar la aceptación de los términos y condiciones.\n"
                            u"Vuelva a iniciar el sistema para aceptarlos nuevamente.\n"
                            u"Si el problema continúa, comuníquese con el soporte de Korvel."_s;
const QString ViewPrefix = u"No se pueden mostrar los términos y condiciones del servicio.\n\n"_s;
} // namespace TermsText

namespace {

double ParseVersion(const QString& text)
{
    return ParseDotFloat(text.trimmed());
}

} // namespace

QString FetchTerms(const TSessionValues& session, double& version, TTerms& terms)
{
    QString error = TermsText::Unavailable;
    terms = {};
    try {
        const double sent = version;
        TTermsAnswer answer;
        const QString requestError = RequestTerms(session, sent, answer);
        if (!requestError.isEmpty())
            return requestError;
        version = ParseVersion(answer.Version);
        if (version > sent) {
            terms.Version = version;
            terms.Date = DbTextToDateTime(answer.Date).date();
            terms.ServerTime = answer.ServerTime.trimmed();
            terms.Text = answer.Text;
            terms.UserName = answer.UserName;
            if (terms.Version > 0 && terms.Date.isValid() && !terms.Text.isEmpty()) {
                terms.New = true;
                error.clear();
            }
        } else {
            error.clear();
        }
    } catch (const std::exception& e) {
        WriteLog(u"$3101"_s, QString::fromUtf8(e.what()));
    }
    return error;
}

QString TermsCheck(QWidget* splash)
{
    const double accepted = ParseVersion(ReadSetting(Setting::AcceptedTermsVersion));
    if (!(accepted > 0))
        return TermsText::NotAccepted;
    double version = accepted;
    TTerms terms;
    if (!FetchTerms(CurrentSessionValues(), version, terms).isEmpty() || !terms.New)
        return {};

    const bool splashShown = splash && splash->isVisible();
    if (splashShown)
        splash->hide();
    QString result;
    {
        TfrmToS dialog;
        dialog.SetMode(TfrmToS::ModeAcceptance);
        dialog.Fill(terms.Text, terms.Date, terms.Version);
        if (dialog.exec() == QDialog::Accepted) {
            if (!WriteSetting(Setting::AcceptedTermsVersion, FloatToDotText(terms.Version)) ||
                !WriteSetting(Setting::TermsUserName, terms.UserName) ||
                !WriteSetting(Setting::TermsAcceptedAt, terms.ServerTime))
                result = TermsText::NotRecorded;
        } else {
            result = TermsText::Declined;
        }
    }
    if (splashShown)
        splash->show();
    return result;
}

void ViewTerms(QWidget* parent)
{
    double version = 0.5;
    TTerms terms;
    const QString error = FetchTerms(CurrentSessionValues(), version, terms);
    if (!error.isEmpty()) {
        ShowError(TermsText::ViewPrefix + error);
        return;
    }
    if (!terms.New) {
        ShowError(TermsText::ViewPrefix + TermsText::Unavailable);
        return;
    }
    TfrmToS dialog(parent);
    dialog.SetMode(TfrmToS::ModeView);
    dialog.Fill(terms.Text, terms.Date, terms.Version);
    dialog.exec();
}
