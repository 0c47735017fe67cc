#include "w2w/OrderHandlers.h"

#include "platform/Errors.h"
#include "w2w/W2WFormat.h"

#include <QRegularExpression>

#include <limits>

namespace vk::w2w {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString withoutBrackets(QString text) {
    text.remove(u'[');
    text.remove(u']');
    return text;
}

// An element's amount in hundredths, or 0 when its tick box says the amount is not taken over.
Amount amountOf(const QString& text, bool ignored) {
    return Amount::fromCents(ignored ? 0 : readInteger(text));
}

class Document {
public:
    explicit Document(const CurrentDocument& document) : document_(document) {}
    QString text(QStringView tag) const { return document_.tagValue(tag); }
    bool present(QStringView tag) const { return !text(tag).isEmpty(); }
    int integer(QStringView tag) const { return readInteger(text(tag)); }
    bool flag(QStringView tag) const { return isFlagSet(text(tag)); }

private:
    const CurrentDocument& document_;
};

// The amounts, taken over only when the document carries them, new order and amendment alike.
void assignAmounts(PlanningRecord& row, const Document& doc, const Settings& settings) {
    if (doc.present(u"<costs>")) {
        row.setAmount(Column::pla_bedrag, amountOf(doc.text(u"<costs>"), settings.checked(Setting::costs)));
    }
    if (doc.present(u"<costs2>")) {
        row.setAmount(Column::pla_bedrag_5,
                      amountOf(doc.text(u"<costs2>"), settings.checked(Setting::costs2)));
    }
}

// A step whose failure is only logged: it runs when the document can no longer be refused.
template <class Step>
void onlyLogFailures(CurrentDocument& document, const QString& unknownError, Step step) {
    try {
        step();
    } catch (const CycleInterrupted&) {
        throw;
    } catch (const std::exception& error) {
        document.logError(errorMessage(error));
    } catch (...) {
        document.logError(unknownError);
    }
}

void appendToText(PlanningRecord& row, const QString& word) {
    row.setMemo(Column::pla_tekst, row.text(Column::pla_tekst) + kCrLf + word);
}

void bookAsWheelchair(PlanningRecord& row) {
    row.setInteger(Column::pla_rolstoel, 1);
    row.setInteger(Column::pla_rollers, 1);
    row.setText(Column::pla_soortwagen, QStringLiteral("R"));
}

// The wheelchair, rollator, scooter and no-bus flags, shared by new orders and amendments. The
// rollator only adds to the text and the wheelchair only books the vehicle, so their order does
// not matter; the scooter comes after both, as it may book a wheelchair too.
void assignAids(PlanningRecord& row, const Document& doc, const Settings& settings) {
    if (doc.flag(u"<rollator>")) {
        appendToText(row, QStringLiteral("Rollator"));
    }
    if (doc.flag(u"<wheelchair>")) {
        bookAsWheelchair(row);
    } else {
        row.setInteger(Column::pla_rolstoel, 0);
        row.setInteger(Column::pla_rollers, 0);
    }
    if (doc.flag(u"<scootmobile>")) {
        appendToText(row, QStringLiteral("Scootmobiel"));
        if (settings.checked(Setting::Scoot)) {
            bookAsWheelchair(row);
        }
    }
    if (doc.flag(u"<nobus>")) {
        appendToText(row, QStringLiteral("Geen bus"));
    }
}

}  // namespace

int orderNumberOf(const QString& idText) {
    // any number of leading zeros, as the integer reading of a new order's <id> takes them
    static const QRegularExpression wholeNumber(QStringLiteral("^\\s*([+-]?)0*(\\d{1,10})\\s*$"));
    const QRegularExpressionMatch m = wholeNumber.match(idText);
    bool ok = false;
    const int number = m.hasMatch() ? (m.captured(1) + m.captured(2)).toInt(&ok) : 0;
    if (!ok) {
        throw Error(QStringLiteral("Ongeldig ordernummer in <id>: \"%1\"").arg(idText));
    }
    return number;
}

QString postcodeOf(const QString& zip) {
    const QString ansi = ansiForm(zip, std::numeric_limits<int>::max());
    return ansi.mid(0, 4) + u' ' + ansi.mid(4, 2);
}

std::optional<int> ADOZoekLaatste(const PlanningRecord& row) {
    return row.rowId();
}

OrderHandlers::OrderHandlers(PlanningRecord& row, TemporaryKeys& keys, TransactionLog& transactions)
    : row_(row), keys_(keys), transactions_(transactions) {}

void OrderHandlers::assignNewOrder(const CurrentDocument& document) {
    const Document doc(document);
    const Settings& settings = document.settings();
    PlanningRecord& r = row_;
    r.setInteger(Column::pla_bdr_id, settings.number(Setting::Bedrijf));
    r.setInteger(Column::pla_reiziger, settings.number(Setting::Debiteur));
    const QDateTime pickup = readPickupTime(doc.text(u"<ssec>"));
    r.setDateTime(Column::pla_datum, pickup);
    r.setDateTime(Column::pla_tijdstip, pickup);
    r.setInteger(Column::pla_extern, doc.integer(u"<id>"));
    r.setInteger(Column::pla_extern_ritnummer, doc.integer(u"<id>"));
    r.setInteger(Column::pla_lopers, doc.integer(u"<npassenger>"));
    r.setMemo(Column::pla_tekst, withoutBrackets(doc.text(u"<extra>")) + kCrLf);
    r.setText(Column::pla_ophstraat, doc.text(u"<splace>"));
    r.setText(Column::pla_ophnummer, doc.text(u"<snumber>"));
    r.setText(Column::pla_ophstad, doc.text(u"<splace>"));
    r.setText(Column::pla_ophpostcode, postcodeOf(doc.text(u"<szip>")));
    r.setText(Column::pla_besstraat, doc.text(u"<dplace>"));
    r.setText(Column::pla_bestnummer, doc.text(u"<dnumber>").left(6));
    r.setInteger(Column::pla_zone_van, 0);
    r.setInteger(Column::pla_zone_naar, 0);
    r.setInteger(Column::pla_zone_aantal, doc.integer(u"<zones>"));
    r.setText(Column::pla_beststad, doc.text(u"<dplace>"));
    r.setText(Column::pla_bestpostcode, postcodeOf(doc.text(u"<dzip>")));
    assignAmounts(r, doc, settings);
    r.setText(Column::pla_soortrit, QStringLiteral("S"));
    r.setText(Column::pla_soortvervoer, settings.text(Setting::SV));
    r.setText(Column::pla_opmerking, doc.text(u"<passenger>"));
    r.setText(Column::pla_telefoon, doc.text(u"<contact>"));
    r.setInteger(Column::pla_voorin, 0);
    r.setInteger(Column::pla_combineren, doc.flag(u"<dontcombine>") ? 0 : 1);
    assignAids(r, doc, settings);
    r.setInteger(Column::pla_rc, settings.checked(Setting::kor_oprek) ? 1 : 0);
    r.setText(Column::pla_filter, settings.text(Setting::Filter));
    r.setInteger(Column::pla_spoed, doc.flag(u"<priority>") ? 1 : 0);
    r.setInteger(Column::pla_bellen, doc.flag(u"<callback>") ? 1 : 0);
}

void OrderHandlers::saveAndLog(CurrentDocument& document, int code) {
    // The connection opens before the unit: nothing inside it opens one.
    row_.database().open();
    PlanningUnit unit(row_.database());
    // the key that the document's record gave it, so that a later look finds the saved row
    const QString& recorded = document.documentKey();
    row_.setText(Column::pla_temp, recorded.isEmpty() ? keys_.next() : recorded);
    row_.save();
    document.reachedPoint(CyclePoint::AfterSave);
    logSaved(code);
    unit.commit();
    document.reachedPoint(CyclePoint::AfterCommit);
}

bool OrderHandlers::documentSaved(const JournalRecord& record) {
    return findSavedRow(row_.database(), record.key, record.orderNumber).has_value();
}

void OrderHandlers::logSaved(int code) {
    if (const std::optional<int> id = ADOZoekLaatste(row_)) {
        transactions_.LogTransactie(0, *id, 0, 0, code, QString());
    }
}

void OrderHandlers::handleNewOrder(CurrentDocument& document) {
    row_.appendNew();
    assignNewOrder(document);
    // A save the database refuses reaches the cycle, which refuses the document: the partner
    // learns that the order was not taken.
    saveAndLog(document, kCodeNewOrder);
    // Once saved, an order is never refused: what fails from here on is only logged.
    onlyLogFailures(document, QStringLiteral("Onbekende fout na het bewaren van de rit"), [&] {
        document.WriteAcknowledgement(kAcknowledged.toString(), document.currentEntryName());
    });
}

void OrderHandlers::openByOrderNumber(int orderNumber) {
    // No row is made for an order number that matches none: that would be an orphan row.
    if (!row_.editByOrderNumber(orderNumber)) {
        throw Error(QStringLiteral("Geen planningsrij met ordernummer %1 gevonden").arg(orderNumber));
    }
}

void OrderHandlers::cancel(CurrentDocument& document, int orderNumber) {
    openByOrderNumber(orderNumber);
    row_.setText(Column::pla_opmerking, QStringLiteral("(VERWIJDERD DOOR OPDRACHTGEVER)"));
    row_.setText(Column::pla_status, QStringLiteral("S"));
    saveAndLog(document, kCodeCancelled);
    row_.Close();
}

void OrderHandlers::amend(CurrentDocument& document, int orderNumber) {
    openByOrderNumber(orderNumber);
    const Document doc(document);
    const Settings& settings = document.settings();
    PlanningRecord& r = row_;
    if (doc.present(u"<ssec>")) {
        r.setDateTime(Column::pla_datum, readPickupTime(doc.text(u"<ssec>")));
        r.setDateTime(Column::pla_tijdstip, r.value(Column::pla_datum).toDateTime());
    }
    if (doc.present(u"<npassenger>")) {
        r.setInteger(Column::pla_lopers, doc.integer(u"<npassenger>"));
    }
    if (doc.present(u"<extra>")) {
        r.setMemo(Column::pla_tekst, withoutBrackets(doc.text(u"<extra>")));
    }
    if (doc.present(u"<splace>")) {
        r.setText(Column::pla_ophstraat, doc.text(u"<splace>"));
        r.setText(Column::pla_ophnummer, doc.text(u"<snumber>"));
        r.setText(Column::pla_ophpostcode, postcodeOf(doc.text(u"<szip>")));
        r.setText(Column::pla_ophstad, doc.text(u"<splace>"));
    }
    if (doc.present(u"<dplace>")) {
        r.setText(Column::pla_besstraat, doc.text(u"<dplace>"));
        r.setText(Column::pla_bestnummer, doc.text(u"<dnumber>"));
        r.setText(Column::pla_beststad, doc.text(u"<dplace>"));
        r.setText(Column::pla_bestpostcode, postcodeOf(doc.text(u"<dzip>")));
    }
    r.setInteger(Column::pla_zone_aantal, doc.integer(u"<zones>"));
    assignAmounts(r, doc, settings);
    if (doc.present(u"<passenger>")) {
        r.setText(Column::pla_opmerking, doc.text(u"<passenger>"));
    }
    r.setInteger(Column::pla_combineren, doc.flag(u"<dontcombine>") ? 0 : 1);
    assignAids(r, doc, settings);
    r.setText(Column::pla_telefoon, doc.text(u"<contact>"));
    r.setInteger(Column::pla_bellen, doc.flag(u"<callback>") ? 1 : 0);
    saveAndLog(document, kCodeAmended);
    r.Close();
}

void OrderHandlers::handleAmendment(CurrentDocument& document) {
    const QString canceled = document.tagValue(u"<canceled>");
    if (canceled == u"1") {
        cancel(document, orderNumberOf(document.tagValue(u"<id>")));
    }
    if (canceled == u"0" || canceled.isEmpty()) {
        amend(document, orderNumberOf(document.tagValue(u"<id>")));
    }
    onlyLogFailures(document, QStringLiteral("Onbekende fout bij het schrijven van de bevestiging"), [&] {
        document.WriteAcknowledgement(kAcknowledged.toString(), document.currentEntryName());
    });
}

}  // namespace vk::w2w
