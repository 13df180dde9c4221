#pragma once
// The typed server faults: three groups below TarvikException, and one class per fault code the
// program tells apart (CheckFault.h picks them). Each class only adds its type, so callers can catch
// the fault they handle (AuthExpired to log on again, FolderExists to look the folder up, ...).

#include <string>

#include "tarvik/TarvikException.h"

namespace Tarvik {

class TarvikServiceException : public TarvikException {
  public:
    using TarvikException::TarvikException;
    class Failure;
    class InvalidRequest;
    class UnknownDocument;
    class ParseError;
    class TemporarilyUnavailable;
    class PermDenied;
    class AuthRequired;
    class AuthExpired;
    class WrongHost;
    class ProxyError;
    class OperationDeniedOnReplSlave;
};

class TarvikAccountException : public TarvikException {
  public:
    using TarvikException::TarvikException;
    class AuthFailed;
    class ChangePassword;
    class PasswordLocked;
    class PasswordChangeTooSoon;
    class PasswordRecentlyUsed;
    class InvalidPassword;
    class InvalidAttrName;
    class InvalidAttrValue;
    class NoSuchAccount;
    class NoSuchDomain;
    class NoSuchCos;
    class NoSuchServer;
    class NoSuchDistributionList;
    class AccountExists;
    class DomainExists;
    class DomainNotEmpty;
    class CosExists;
    class ServerExists;
    class DistributionListExists;
    class MaintenanceMode;
};

class TarvikMailException : public TarvikException {
  public:
    using TarvikException::TarvikException;
    class TooManyTags;
    class InvalidName;
    class FolderExists;
};

#define TVK_FAULT_CLASS(Group, Name)   \
    class Group::Name : public Group { \
      public:                          \
        using Group::Group;            \
    };

TVK_FAULT_CLASS(TarvikServiceException, Failure)
TVK_FAULT_CLASS(TarvikServiceException, InvalidRequest)
TVK_FAULT_CLASS(TarvikServiceException, UnknownDocument)
TVK_FAULT_CLASS(TarvikServiceException, ParseError)
TVK_FAULT_CLASS(TarvikServiceException, TemporarilyUnavailable)
TVK_FAULT_CLASS(TarvikServiceException, PermDenied)
TVK_FAULT_CLASS(TarvikServiceException, AuthRequired)
TVK_FAULT_CLASS(TarvikServiceException, WrongHost)
TVK_FAULT_CLASS(TarvikServiceException, ProxyError)
TVK_FAULT_CLASS(TarvikServiceException, OperationDeniedOnReplSlave)
TVK_FAULT_CLASS(TarvikAccountException, AuthFailed)
TVK_FAULT_CLASS(TarvikAccountException, ChangePassword)
TVK_FAULT_CLASS(TarvikAccountException, PasswordLocked)
TVK_FAULT_CLASS(TarvikAccountException, PasswordChangeTooSoon)
TVK_FAULT_CLASS(TarvikAccountException, PasswordRecentlyUsed)
TVK_FAULT_CLASS(TarvikAccountException, InvalidPassword)
TVK_FAULT_CLASS(TarvikAccountException, InvalidAttrName)
TVK_FAULT_CLASS(TarvikAccountException, InvalidAttrValue)
TVK_FAULT_CLASS(TarvikAccountException, NoSuchAccount)
TVK_FAULT_CLASS(TarvikAccountException, NoSuchDomain)
TVK_FAULT_CLASS(TarvikAccountException, NoSuchCos)
TVK_FAULT_CLASS(TarvikAccountException, NoSuchServer)
TVK_FAULT_CLASS(TarvikAccountException, NoSuchDistributionList)
TVK_FAULT_CLASS(TarvikAccountException, AccountExists)
TVK_FAULT_CLASS(TarvikAccountException, DomainExists)
TVK_FAULT_CLASS(TarvikAccountException, DomainNotEmpty)
TVK_FAULT_CLASS(TarvikAccountException, CosExists)
TVK_FAULT_CLASS(TarvikAccountException, ServerExists)
TVK_FAULT_CLASS(TarvikAccountException, DistributionListExists)
TVK_FAULT_CLASS(TarvikAccountException, MaintenanceMode)
TVK_FAULT_CLASS(TarvikMailException, TooManyTags)
TVK_FAULT_CLASS(TarvikMailException, InvalidName)
TVK_FAULT_CLASS(TarvikMailException, FolderExists)

#undef TVK_FAULT_CLASS

// An expired session. The upload raises it with its own message; the code is always the server's.
class TarvikServiceException::AuthExpired : public TarvikServiceException {
  public:
    using TarvikServiceException::TarvikServiceException;
    explicit AuthExpired(std::string message)
        : TarvikServiceException(std::move(message), "service.AUTH_EXPIRED") {}
};

}  // namespace Tarvik
