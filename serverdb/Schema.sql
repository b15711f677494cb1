-- Tables of the system database and of a company database.
--
-- The system database is the connection's main database: framework tables that the SQL
-- texts name without a prefix (ADMTC, QVRINTMA, ...). Each company database is attached
-- under its database name; the texts reach its tables through "$$" (resolved to
-- "<database>..").
--
-- Written in the common subset of the SQL Server dialect and SQLite. Texts are stored
-- trimmed; dates are eight-character texts "yyyymmdd"; flags are "Y"/"N" unless noted.
-- Every company table carries the audit columns COMPANY, CREATOR, USR_GROUP,
-- CREATE_DATE ("yyyymmddhhnnsszzz"), MODIFIER, MODI_DATE and FLAG (edit counter).
--
-- Amounts and rates are DECIMAL_TEXT(p,s): the declared type gives the column text
-- affinity, so SQLite keeps the exact decimal text ("1234.5", "0.1") instead of a binary
-- double; readers take it into dataset/Decimal. Arithmetic inside a statement still
-- converts to numbers, so sums that must be exact are made by the program, not in SQL;
-- compare such a column through an expression (Round(TA030,3)=0.0), as a bare column
-- against a number compares as text.
--
-- The line "-- @section <name>" starts a section; the setup program runs one section per
-- database.

-- @section system

-- Companies and the database that holds each one's books.
CREATE TABLE ADMMC (
  MC001 VARCHAR(10) NOT NULL PRIMARY KEY,   -- company code
  MC002 VARCHAR(80) NOT NULL DEFAULT '',    -- company name
  MC003 VARCHAR(20) NOT NULL DEFAULT '',    -- company database name
  MC004 VARCHAR(1)  NOT NULL DEFAULT 'Y'    -- in use
);

-- System settings per company ("Sys001" date order, "Sys002" date separator, "Sys003"
-- local currency, "Sys029" first open month, "Sys030" last closed month, "QVR002"
-- company title, ...). The counter service serves them as the settings matrix.
CREATE TABLE ADMMS (
  MS001 VARCHAR(10)  NOT NULL,              -- company code
  MS002 VARCHAR(20)  NOT NULL,              -- setting name
  MS003 VARCHAR(255) NOT NULL DEFAULT '',   -- value
  MS004 VARCHAR(80)  NOT NULL DEFAULT '',   -- description
  PRIMARY KEY (MS001, MS002)
);

-- Users (also the recipients offered for notifications).
CREATE TABLE QVRMA (
  MA001 VARCHAR(10) NOT NULL PRIMARY KEY,   -- user code
  MA002 VARCHAR(40) NOT NULL DEFAULT '',    -- name
  MA003 VARCHAR(20) NOT NULL DEFAULT '',    -- mobile number
  MA004 VARCHAR(60) NOT NULL DEFAULT '',    -- mail address
  MA005 VARCHAR(1)  NOT NULL DEFAULT 'N',   -- super user: every right in every program
  MA006 VARCHAR(3)  NOT NULL DEFAULT 'CHS', -- language: CHS, CHT, ENG
  MA007 VARCHAR(1)  NOT NULL DEFAULT 'Y',   -- account in use
  MA008 VARCHAR(10) NOT NULL DEFAULT ''     -- default company
);

-- Rights of a user in a program. A user without a row has no right in that program.
CREATE TABLE ADMMR (
  MR001 VARCHAR(10)  NOT NULL,              -- user code
  MR002 VARCHAR(10)  NOT NULL,              -- program code
  MR003 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- may open the program
  MR004 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- may list (query) data
  MR005 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- may put jobs into the queue
  MR006 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- may run jobs directly
  MR007 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- may print
  MR008 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- may export
  MR009 VARCHAR(255) NOT NULL DEFAULT '',   -- data limit (empty: none)
  PRIMARY KEY (MR001, MR002)
);

-- Programs of the suite.
CREATE TABLE ADMMB (
  MB001 VARCHAR(10) NOT NULL PRIMARY KEY,   -- program code
  MB002 VARCHAR(80) NOT NULL DEFAULT '',    -- name, simplified Chinese
  MB003 VARCHAR(3)  NOT NULL DEFAULT '',    -- module code
  MB004 VARCHAR(1)  NOT NULL DEFAULT '',    -- kind: B batch job, R report, F form
  MB005 VARCHAR(1)  NOT NULL DEFAULT 'N',   -- runs on the server only (no direct processing)
  MB006 VARCHAR(80) NOT NULL DEFAULT '',    -- name, traditional Chinese
  MB007 VARCHAR(40) NOT NULL DEFAULT '',    -- client library file
  MB008 VARCHAR(80) NOT NULL DEFAULT '',    -- name, English
  MB009 VARCHAR(1)  NOT NULL DEFAULT 'Y'    -- in use
);

-- Saved condition schemes, per user and program (provider "pvdConSave").
CREATE TABLE GENES (
  NCONDITION  VARCHAR(20) NOT NULL,         -- scheme name
  CREATOR     VARCHAR(10) NOT NULL,         -- user code
  PROGRAMME   VARCHAR(10) NOT NULL,         -- program code
  CREATE_DATE VARCHAR(8)  NOT NULL DEFAULT '',
  SCONDITION  TEXT        NOT NULL DEFAULT '', -- property list
  VCONDITION  TEXT        NOT NULL DEFAULT '', -- values text
  PRIMARY KEY (NCONDITION, CREATOR, PROGRAMME)
);

-- Message queue: notifications waiting to be sent.
CREATE TABLE ADMTC (
  TC001 VARCHAR(14)  NOT NULL PRIMARY KEY,  -- queue number: yyyymmdd + six-digit day counter
  TC002 VARCHAR(10)  NOT NULL DEFAULT '',   -- sender (user code)
  TC003 TEXT         NOT NULL DEFAULT '',   -- recipients, XML
  TC004 VARCHAR(17)  NOT NULL DEFAULT '',   -- time stamp yyyymmddhhnnsszzz
  TC005 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- sent
  TC006 VARCHAR(255) NOT NULL DEFAULT '',   -- title
  TC007 TEXT         NOT NULL DEFAULT '',   -- attachment text
  TC008 TEXT         NOT NULL DEFAULT '',   -- message text
  TC009 VARCHAR(1)   NOT NULL DEFAULT '',   -- source: 4 job completion
  COMPANY     VARCHAR(10) NOT NULL DEFAULT '',
  CREATOR     VARCHAR(10) NOT NULL DEFAULT '',
  CREATE_DATE VARCHAR(17) NOT NULL DEFAULT '',
  FLAG        INT         NOT NULL DEFAULT 0
);
CREATE INDEX ADMTC_TC004 ON ADMTC (TC004);

-- Message history: queue rows move here once sent; numbering continues across both.
CREATE TABLE ADMTD (
  TD001 VARCHAR(14)  NOT NULL PRIMARY KEY,
  TD002 VARCHAR(10)  NOT NULL DEFAULT '',
  TD003 TEXT         NOT NULL DEFAULT '',
  TD004 VARCHAR(17)  NOT NULL DEFAULT '',
  TD005 VARCHAR(1)   NOT NULL DEFAULT 'Y',
  TD006 VARCHAR(255) NOT NULL DEFAULT '',
  TD007 TEXT         NOT NULL DEFAULT '',
  TD008 TEXT         NOT NULL DEFAULT '',
  TD009 VARCHAR(1)   NOT NULL DEFAULT '',
  TD010 VARCHAR(17)  NOT NULL DEFAULT '',   -- sent at, yyyymmddhhnnsszzz
  COMPANY     VARCHAR(10) NOT NULL DEFAULT '',
  CREATOR     VARCHAR(10) NOT NULL DEFAULT '',
  CREATE_DATE VARCHAR(17) NOT NULL DEFAULT '',
  FLAG        INT         NOT NULL DEFAULT 0
);
CREATE INDEX ADMTD_TD004 ON ADMTD (TD004);

-- Outbox: short messages and mails a finished job's recipients asked for, waiting for a
-- gateway (nothing is sent from the server itself). Made on first use in older databases.
CREATE TABLE ADMTO (
  TO001 INTEGER PRIMARY KEY,                -- outbox number
  TO002 VARCHAR(1)   NOT NULL DEFAULT '',   -- S short message, M mail
  TO003 VARCHAR(10)  NOT NULL DEFAULT '',   -- recipient (user code)
  TO004 VARCHAR(60)  NOT NULL DEFAULT '',   -- mobile number or mail address
  TO005 VARCHAR(255) NOT NULL DEFAULT '',   -- title
  TO006 TEXT         NOT NULL DEFAULT '',   -- text
  TO007 VARCHAR(17)  NOT NULL DEFAULT '',   -- time stamp yyyymmddhhnnsszzz
  TO008 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- N waiting, X no address to send to
  COMPANY VARCHAR(10) NOT NULL DEFAULT '',
  CREATOR VARCHAR(10) NOT NULL DEFAULT ''
);

-- Portal and integration settings ("StartupPortal" Y/N, "Portal WS" service address).
CREATE TABLE QVRINTMA (
  MA001 VARCHAR(40)  NOT NULL PRIMARY KEY,  -- setting name
  MA002 VARCHAR(80)  NOT NULL DEFAULT '',   -- description
  MA003 VARCHAR(255) NOT NULL DEFAULT ''    -- value
);

-- @part jobs
-- The job service: every request a job form hands over, kept until someone deletes it.
-- Moments are "yyyymmddhhnnsszzz" of the server's clock. Stored values (JB011-JB013) are
-- Variants as base64 text (wire/VariantStream.h) and read back exactly. The part is
-- also run on its own against an older system database, hence IF NOT EXISTS.
CREATE TABLE IF NOT EXISTS ADMJB (
  JB001 VARCHAR(14)  NOT NULL PRIMARY KEY,  -- job number: yyyymmdd + six-digit day counter
  JB002 VARCHAR(1)   NOT NULL DEFAULT 'Q',  -- Q for the queue (Request), D run by the client at once (Request1)
  JB003 VARCHAR(10)  NOT NULL DEFAULT '',   -- program code
  JB004 VARCHAR(10)  NOT NULL DEFAULT '',   -- owner (user code)
  JB005 VARCHAR(10)  NOT NULL DEFAULT '',   -- company code
  JB006 VARCHAR(30)  NOT NULL DEFAULT '',   -- company database
  JB007 VARCHAR(1)   NOT NULL DEFAULT '',   -- job kind as sent (lower case: periodic)
  JB008 INT          NOT NULL DEFAULT 0,    -- run mode: 0 queue, 1 at once, 2 at the given time
  JB009 VARCHAR(17)  NOT NULL DEFAULT '',   -- due: the next run; empty when none is left
  JB010 VARCHAR(12)  NOT NULL DEFAULT 'queued', -- queued, running, done, failed, cancelled, interrupted
  JB011 TEXT         NOT NULL DEFAULT '',   -- the request packet
  JB012 TEXT         NOT NULL DEFAULT '',   -- period value (periodic jobs)
  JB013 TEXT         NOT NULL DEFAULT '',   -- date rule array (periodic jobs)
  JB014 TEXT         NOT NULL DEFAULT '',   -- recipients XML (empty: nobody)
  JB015 VARCHAR(40)  NOT NULL DEFAULT '',   -- server class name
  JB016 VARCHAR(17)  NOT NULL DEFAULT '',   -- submitted at
  JB017 VARCHAR(40)  NOT NULL DEFAULT '',   -- computer that submitted it (direct runs)
  JB018 INT          NOT NULL DEFAULT 0,    -- runs finished (done or failed)
  JB019 INT          NOT NULL DEFAULT 0,    -- interruptions of the current run
  JB020 VARCHAR(80)  NOT NULL DEFAULT '',   -- who runs it now: server host:pid:start
  JB021 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- cancel asked while running: no further run
  JB022 TEXT         NOT NULL DEFAULT '',   -- result text of the last run (empty: success)
  JB023 VARCHAR(17)  NOT NULL DEFAULT '',   -- last run ended at
  JB024 VARCHAR(17)  NOT NULL DEFAULT '',   -- cancelled at
  JB025 VARCHAR(17)  NOT NULL DEFAULT ''    -- lease of the server running it: until then (machine time) it is its run
);
CREATE INDEX IF NOT EXISTS ADMJB_DUE ON ADMJB (JB010, JB009);

-- Status history: one row per run of a job (a re-run after an interruption is a row of
-- its own with the same run number).
CREATE TABLE IF NOT EXISTS ADMJR (
  JR001 VARCHAR(14)  NOT NULL,              -- job number
  JR002 INT          NOT NULL,              -- attempt, from 1
  JR003 INT          NOT NULL DEFAULT 1,    -- run number of the schedule, from 1
  JR004 VARCHAR(17)  NOT NULL DEFAULT '',   -- the run's due moment (its run date)
  JR005 VARCHAR(17)  NOT NULL DEFAULT '',   -- started
  JR006 VARCHAR(17)  NOT NULL DEFAULT '',   -- ended (empty while running)
  JR007 VARCHAR(12)  NOT NULL DEFAULT 'running', -- running, done, failed, interrupted, skipped
  JR008 TEXT         NOT NULL DEFAULT '',   -- result text
  JR009 VARCHAR(80)  NOT NULL DEFAULT '',   -- run by: server host:pid:start, or the client's computer
  JR010 VARCHAR(1)   NOT NULL DEFAULT 'Q',  -- Q queue, R re-run after an interruption, D client, X server at the client's call
  JR011 TEXT         NOT NULL DEFAULT '',   -- the periods a late run stands for: "first|last|count" (empty: its own alone)
  PRIMARY KEY (JR001, JR002)
);
-- @end part jobs

-- @section company

-- Suppliers.
CREATE TABLE PURMA (
  MA001 VARCHAR(10)  NOT NULL PRIMARY KEY,  -- supplier code
  MA002 VARCHAR(40)  NOT NULL DEFAULT '',   -- short name
  MA003 VARCHAR(80)  NOT NULL DEFAULT '',   -- full name
  MA004 VARCHAR(20)  NOT NULL DEFAULT '',   -- tax registration number
  MA005 VARCHAR(30)  NOT NULL DEFAULT '',   -- contact
  MA006 VARCHAR(30)  NOT NULL DEFAULT '',   -- telephone
  MA007 VARCHAR(120) NOT NULL DEFAULT '',   -- address
  MA008 VARCHAR(4)   NOT NULL DEFAULT '',   -- trading currency
  MA009 VARCHAR(1)   NOT NULL DEFAULT '1',  -- status: 1 trading, 2 suspended
  MA010 VARCHAR(6)   NOT NULL DEFAULT '',   -- payment terms
  MA011 VARCHAR(60)  NOT NULL DEFAULT '',   -- mail address
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0
);

-- Document types. MQ003 is the kind: 71 and 7A purchase invoice, 7F expense invoice,
-- 7B other payable, 7C prepayment, 7D refund.
CREATE TABLE CMSMQ (
  MQ001 VARCHAR(4)  NOT NULL PRIMARY KEY,   -- document type
  MQ002 VARCHAR(40) NOT NULL DEFAULT '',    -- name
  MQ003 VARCHAR(2)  NOT NULL DEFAULT '',    -- kind
  MQ004 VARCHAR(20) NOT NULL DEFAULT '',    -- short name
  MQ005 VARCHAR(1)  NOT NULL DEFAULT 'Y',   -- in use
  MQ006 VARCHAR(1)  NOT NULL DEFAULT 'N',   -- confirmed on entry
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0
);

-- Departments.
CREATE TABLE CMSME (
  ME001 VARCHAR(6)  NOT NULL PRIMARY KEY,
  ME002 VARCHAR(40) NOT NULL DEFAULT '',    -- name
  ME003 VARCHAR(1)  NOT NULL DEFAULT 'Y',   -- in use
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0
);

-- Employees.
CREATE TABLE CMSMV (
  MV001 VARCHAR(10) NOT NULL PRIMARY KEY,
  MV002 VARCHAR(40) NOT NULL DEFAULT '',    -- name
  MV003 VARCHAR(40) NOT NULL DEFAULT '',    -- title
  MV004 VARCHAR(6)  NOT NULL DEFAULT '',    -- department
  MV005 VARCHAR(1)  NOT NULL DEFAULT 'Y',   -- in service
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0
);

-- Currencies.
CREATE TABLE CMSMF (
  MF001 VARCHAR(4)  NOT NULL PRIMARY KEY,
  MF002 VARCHAR(40) NOT NULL DEFAULT '',    -- name
  MF003 INT         NOT NULL DEFAULT 2,     -- decimals of unit prices
  MF004 INT         NOT NULL DEFAULT 2,     -- decimals of amounts
  MF005 DECIMAL_TEXT(18,7) NOT NULL DEFAULT 1,   -- standard exchange rate to the local currency
  MF006 VARCHAR(1)  NOT NULL DEFAULT 'Y',   -- in use
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0
);

-- Payable vouchers: purchase and expense invoices. Open for write-off while confirmed
-- (TA024 Y), nothing paid (TA030 0), ordinary (TA079 1), unsettled (TA087 1), not in a
-- payment run (TA080 N) and not closed (TA033 N).
CREATE TABLE ACPTA (
  TA001 VARCHAR(4)   NOT NULL,              -- document type
  TA002 VARCHAR(11)  NOT NULL,              -- document number
  TA003 VARCHAR(8)   NOT NULL DEFAULT '',   -- document date
  TA004 VARCHAR(10)  NOT NULL DEFAULT '',   -- supplier
  TA005 VARCHAR(40)  NOT NULL DEFAULT '',   -- supplier name as entered
  TA008 VARCHAR(4)   NOT NULL DEFAULT '',   -- currency
  TA009 DECIMAL_TEXT(18,7) NOT NULL DEFAULT 1,   -- exchange rate
  TA014 VARCHAR(20)  NOT NULL DEFAULT '',   -- invoice number
  TA021 VARCHAR(255) NOT NULL DEFAULT '',   -- remark
  TA024 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- confirmed
  TA028 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount before tax, original currency
  TA029 DECIMAL_TEXT(18,6) DEFAULT 0,      -- tax, original currency
  TA030 DECIMAL_TEXT(18,6) DEFAULT 0,      -- paid, original currency
  TA033 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- closed
  TA034 VARCHAR(8)   NOT NULL DEFAULT '',   -- accounting date
  TA037 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount before tax, local currency
  TA038 DECIMAL_TEXT(18,6) DEFAULT 0,      -- tax, local currency
  TA050 DECIMAL_TEXT(18,7) DEFAULT 0,      -- last revaluation rate (0: never revalued)
  TA051 DECIMAL_TEXT(18,6) DEFAULT 0,      -- revaluation difference, local currency
  TA070 VARCHAR(6)   NOT NULL DEFAULT '',   -- department
  TA079 VARCHAR(1)   NOT NULL DEFAULT '1',  -- voucher kind: 1 ordinary, 2 debit note
  TA080 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- in a payment run
  TA085 DECIMAL_TEXT(18,6) DEFAULT 0,      -- paid, local currency
  TA087 VARCHAR(1)   NOT NULL DEFAULT '1',  -- settlement: 1 open, 2 partly, 3 settled
  TA089 VARCHAR(10)  NOT NULL DEFAULT '',   -- employee
  TA090 VARCHAR(20)  NOT NULL DEFAULT '',   -- project
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (TA001, TA002)
);
CREATE INDEX ACPTA_OPEN ON ACPTA (TA087, TA008, TA004, TA003);

-- Payable voucher lines.
CREATE TABLE ACPTB (
  TB001 VARCHAR(4)   NOT NULL,
  TB002 VARCHAR(11)  NOT NULL,
  TB003 VARCHAR(4)   NOT NULL,              -- line number
  TB004 VARCHAR(4)   NOT NULL DEFAULT '',   -- source document type
  TB005 VARCHAR(11)  NOT NULL DEFAULT '',   -- source document number
  TB006 VARCHAR(120) NOT NULL DEFAULT '',   -- description
  TB009 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount before tax, original currency
  TB010 DECIMAL_TEXT(18,6) DEFAULT 0,      -- tax, original currency
  TB011 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount before tax, local currency
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (TB001, TB002, TB003)
);

-- Other payable documents; open under the same rules as ACPTA (TI013 confirmed, TI017
-- nothing paid, TI031 and TI035 ordinary, TI029 unsettled, TI043 not in a payment run).
CREATE TABLE ACPTI (
  TI001 VARCHAR(4)   NOT NULL,
  TI002 VARCHAR(11)  NOT NULL,
  TI003 VARCHAR(8)   NOT NULL DEFAULT '',   -- document date
  TI004 VARCHAR(10)  NOT NULL DEFAULT '',   -- supplier
  TI005 VARCHAR(10)  NOT NULL DEFAULT '',   -- employee
  TI006 VARCHAR(6)   NOT NULL DEFAULT '',   -- department
  TI007 VARCHAR(4)   NOT NULL DEFAULT '',   -- currency
  TI008 DECIMAL_TEXT(18,7) NOT NULL DEFAULT 1,   -- exchange rate
  TI012 VARCHAR(255) NOT NULL DEFAULT '',   -- remark
  TI013 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- confirmed
  TI015 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, original currency
  TI016 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, local currency
  TI017 DECIMAL_TEXT(18,6) DEFAULT 0,      -- paid, original currency
  TI018 DECIMAL_TEXT(18,6) DEFAULT 0,      -- paid, local currency
  TI019 VARCHAR(8)   NOT NULL DEFAULT '',   -- accounting date
  TI026 DECIMAL_TEXT(18,7) DEFAULT 0,      -- last revaluation rate
  TI029 VARCHAR(1)   NOT NULL DEFAULT '1',  -- settlement: 1 open, 2 partly, 3 settled
  TI031 VARCHAR(1)   NOT NULL DEFAULT '1',  -- document kind: 1 ordinary, 2 adjustment
  TI032 DECIMAL_TEXT(18,6) DEFAULT 0,      -- revaluation difference, local currency
  TI035 VARCHAR(1)   NOT NULL DEFAULT '1',  -- origin: 1 entered, 2 carried over
  TI043 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- in a payment run
  TI044 VARCHAR(20)  NOT NULL DEFAULT '',   -- project
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (TI001, TI002)
);
CREATE INDEX ACPTI_OPEN ON ACPTI (TI029, TI007, TI004, TI003);

-- Other payable lines.
CREATE TABLE ACPTJ (
  TJ001 VARCHAR(4)   NOT NULL,
  TJ002 VARCHAR(11)  NOT NULL,
  TJ003 VARCHAR(4)   NOT NULL,              -- line number
  TJ004 VARCHAR(120) NOT NULL DEFAULT '',   -- description
  TJ005 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, original currency
  TJ006 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, local currency
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (TJ001, TJ002, TJ003)
);

-- Prepayments; open while confirmed (TK020), nothing used (TK035 0), ordinary (TK043)
-- and unsettled (TK028 1).
CREATE TABLE ACPTK (
  TK001 VARCHAR(4)   NOT NULL,
  TK002 VARCHAR(11)  NOT NULL,
  TK003 VARCHAR(8)   NOT NULL DEFAULT '',   -- document date
  TK004 VARCHAR(10)  NOT NULL DEFAULT '',   -- supplier
  TK005 VARCHAR(10)  NOT NULL DEFAULT '',   -- employee
  TK006 VARCHAR(6)   NOT NULL DEFAULT '',   -- department
  TK007 VARCHAR(4)   NOT NULL DEFAULT '',   -- currency
  TK008 DECIMAL_TEXT(18,7) NOT NULL DEFAULT 1,   -- exchange rate
  TK009 VARCHAR(255) NOT NULL DEFAULT '',   -- remark
  TK014 VARCHAR(20)  NOT NULL DEFAULT '',   -- receipt number
  TK020 VARCHAR(1)   NOT NULL DEFAULT 'N',  -- confirmed
  TK022 VARCHAR(8)   NOT NULL DEFAULT '',   -- accounting date
  TK027 VARCHAR(20)  NOT NULL DEFAULT '',   -- project
  TK028 VARCHAR(1)   NOT NULL DEFAULT '1',  -- settlement: 1 open, 2 partly, 3 settled
  TK030 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, original currency
  TK031 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, local currency
  TK035 DECIMAL_TEXT(18,6) DEFAULT 0,      -- used, original currency
  TK036 DECIMAL_TEXT(18,6) DEFAULT 0,      -- used, local currency
  TK037 DECIMAL_TEXT(18,7) DEFAULT 0,      -- last revaluation rate
  TK039 DECIMAL_TEXT(18,6) DEFAULT 0,      -- revaluation difference, local currency
  TK043 VARCHAR(1)   NOT NULL DEFAULT '1',  -- kind: 1 ordinary, 2 deposit
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (TK001, TK002)
);
CREATE INDEX ACPTK_OPEN ON ACPTK (TK028, TK007, TK004, TK003);

-- Write-off batches: one row per document written off, under "<program>-<batch number>".
-- A reversed batch keeps its rows (LC015 Y), so that its number stays used.
CREATE TABLE ACPLC (
  LC001 VARCHAR(20) NOT NULL,               -- batch key, e.g. WOFB07-B0001
  LC002 VARCHAR(6)  NOT NULL,               -- line number
  LC003 VARCHAR(1)  NOT NULL DEFAULT '',    -- write-off type: 1 payables, 2 other, 3 prepayments
  LC004 VARCHAR(8)  NOT NULL DEFAULT '',    -- write-off date
  LC005 VARCHAR(4)  NOT NULL DEFAULT '',    -- document type
  LC006 VARCHAR(11) NOT NULL DEFAULT '',    -- document number
  LC007 VARCHAR(10) NOT NULL DEFAULT '',    -- supplier
  LC008 VARCHAR(10) NOT NULL DEFAULT '',    -- transfer supplier
  LC009 VARCHAR(4)  NOT NULL DEFAULT '',    -- currency
  LC010 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, original currency
  LC011 DECIMAL_TEXT(18,6) DEFAULT 0,      -- amount, local currency
  LC012 VARCHAR(4)  NOT NULL DEFAULT '',    -- refund document type
  LC013 VARCHAR(11) NOT NULL DEFAULT '',    -- refund document number
  LC014 VARCHAR(20) NOT NULL DEFAULT '',    -- job request number
  LC015 VARCHAR(1)  NOT NULL DEFAULT 'N',   -- reversed
  LC016 VARCHAR(10) NOT NULL DEFAULT '',    -- reversed by (user code)
  LC017 VARCHAR(17) NOT NULL DEFAULT '',    -- reversed at, yyyymmddhhnnsszzz
  LC018 VARCHAR(4)  NOT NULL DEFAULT '',    -- transfer document type (other payable)
  LC019 VARCHAR(11) NOT NULL DEFAULT '',    -- transfer document number
  LC020 TEXT        NOT NULL DEFAULT '',    -- the document's settlement columns before and after the run
  LC021 VARCHAR(40) NOT NULL DEFAULT '',    -- the run: extra text of the job (job number and run)
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (LC001, LC002)
);

-- Notification subjects, one per program and occasion.
CREATE TABLE TMCMC (
  MC001 VARCHAR(4)  NOT NULL,               -- subject group
  MC002 VARCHAR(10) NOT NULL,               -- subject code
  MC003 VARCHAR(80) NOT NULL DEFAULT '',    -- name
  MC004 VARCHAR(255) NOT NULL DEFAULT '',   -- description
  MC005 VARCHAR(10) NOT NULL DEFAULT '',    -- program code
  MC006 VARCHAR(1)  NOT NULL DEFAULT 'Y',   -- in use
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (MC001, MC002)
);

-- Notification definitions of a subject. MD004 is the occasion (6: a job finished);
-- MD007 holds "<MD007><Receiver>...</Receiver><Title Value=.../></MD007>||message||attachment".
CREATE TABLE TMCMD (
  MD001 VARCHAR(4)  NOT NULL,
  MD002 VARCHAR(10) NOT NULL,
  MD003 VARCHAR(4)  NOT NULL,               -- serial number
  MD004 VARCHAR(1)  NOT NULL DEFAULT '',    -- occasion
  MD005 VARCHAR(80) NOT NULL DEFAULT '',    -- description
  MD006 VARCHAR(3)  NOT NULL DEFAULT 'YNN', -- channels: system message, short message, mail
  MD007 TEXT,                               -- content
  COMPANY VARCHAR(10), CREATOR VARCHAR(10), USR_GROUP VARCHAR(10), CREATE_DATE VARCHAR(17),
  MODIFIER VARCHAR(10), MODI_DATE VARCHAR(17), FLAG INT NOT NULL DEFAULT 0,
  PRIMARY KEY (MD001, MD002, MD003)
);
