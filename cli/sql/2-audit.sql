-- velnor's schema, version 2: the audit record, one row per keypad and command (--log URI),
-- with the fields of a log line (the line itself in `line`) and the station that wrote it.
CREATE TABLE velnor.audit (
    id             bigserial PRIMARY KEY,
    time           timestamptz NOT NULL,
    station        text NOT NULL,
    host           text,
    velnor_version text,
    command        text,
    location       text,
    usb_serial     text,
    serial_before  text,
    serial_after   text,
    firmware       text,
    file           text,
    file_sha256    text,
    result         text,
    status         integer,
    duration_ms    bigint,
    message        text,
    line           json NOT NULL
);
-- Every keypad given serial S; what happened at a time; the failures of a period.
CREATE INDEX audit_serial ON velnor.audit (serial_after, time);
CREATE INDEX audit_time ON velnor.audit (time);
CREATE INDEX audit_result ON velnor.audit (result, time);
