#include "Pop3Error.h"

#include <QString>

QString pop3ErrorText(Pop3Error error)
{
    switch (error) {
    case Pop3Error::None:
        return QStringLiteral("エラーはありません");
    case Pop3Error::Unreachable:
        return QStringLiteral("POP3サーバーに接続できません");
    case Pop3Error::Timeout:
        return QStringLiteral("POP3サーバーからの応答がありません");
    case Pop3Error::Closed:
        return QStringLiteral("POP3サーバーが接続を切断しました");
    case Pop3Error::Protocol:
        return QStringLiteral("POP3サーバーの応答が正しくありません");
    case Pop3Error::Tls:
        return QStringLiteral("TLS接続を確立できません");
    case Pop3Error::Certificate:
        return QStringLiteral("サーバー証明書を確認できません");
    case Pop3Error::Refused:
        return QStringLiteral("POP3サーバーが要求を断りました");
    case Pop3Error::Auth:
        return QStringLiteral("認証に失敗しました");
    case Pop3Error::MailboxBusy:
        return QStringLiteral("メールボックスを使用できません");
    case Pop3Error::BadArgument:
        return QStringLiteral("引数が正しくありません");
    case Pop3Error::BadHandle:
        return QStringLiteral("接続ハンドルが正しくありません");
    case Pop3Error::BadState:
        return QStringLiteral("この接続ではその操作はできません");
    }
    return QStringLiteral("不明なエラーです");
}
