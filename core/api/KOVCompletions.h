#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/Error.h"

namespace kova {

class KOVAccount;
class KOVBankBeneficiary;
class KOVBankMetadata;
class KOVBankWireBeneficiary;
class KOVCard;
class KOVIdentity;
class KOVResult;
class KOVTransaction;

using OptionalError = std::optional<platform::Error>;

// (result, error, operation ID) of the data, metadata, beneficiary and
// transfer calls; a result is absent exactly when there is an error.
template <typename Result>
using KOVDataCompletion = std::function<void(Result result, OptionalError error, QString operationID)>;

using KOVIdentityCompletion = KOVDataCompletion<std::shared_ptr<KOVIdentity>>;
using KOVAccountsCompletion = KOVDataCompletion<QList<std::shared_ptr<KOVAccount>>>;
using KOVCardsCompletion = KOVDataCompletion<QList<std::shared_ptr<KOVCard>>>;
using KOVMetadataCompletion = KOVDataCompletion<std::shared_ptr<KOVBankMetadata>>;
using KOVTransactionsCompletion = KOVDataCompletion<QList<std::shared_ptr<KOVTransaction>>>;
using KOVBeneficiariesCompletion = KOVDataCompletion<QList<std::shared_ptr<KOVBankBeneficiary>>>;
using KOVWireBeneficiariesCompletion = KOVDataCompletion<QList<std::shared_ptr<KOVBankWireBeneficiary>>>;
using KOVResultCompletion = KOVDataCompletion<std::shared_ptr<KOVResult>>;
// (result, error) of the delink call.
using KOVDelinkCompletion = std::function<void(std::shared_ptr<KOVResult> result, OptionalError error)>;
// (success, error) of the token exchange.
using KOVExchangeCompletion = std::function<void(bool success, OptionalError error)>;

} // namespace kova
