#include "db/PgFunctions.h"

std::string PgFunctionsScript()
{
    // Dates as texts take the styles of the suite's server; a text that is no date keeps
    // its value. Numbers are never cut to fit a CHAR(n); texts are.
    return R"SQL(
CREATE SCHEMA IF NOT EXISTS qv_fn;

CREATE OR REPLACE FUNCTION qv_fn.qv_date_style(d timestamp, style integer) RETURNS text
LANGUAGE sql IMMUTABLE AS $f$
  SELECT CASE style
    WHEN 112 THEN to_char(d, 'YYYYMMDD')
    WHEN 111 THEN to_char(d, 'YYYY/MM/DD')
    WHEN 102 THEN to_char(d, 'YYYY.MM.DD')
    WHEN 23 THEN to_char(d, 'YYYY-MM-DD')
    WHEN 20 THEN to_char(d, 'YYYY-MM-DD HH24:MI:SS')
    WHEN 120 THEN to_char(d, 'YYYY-MM-DD HH24:MI:SS')
    WHEN 8 THEN to_char(d, 'HH24:MI:SS')
    WHEN 108 THEN to_char(d, 'HH24:MI:SS')
    WHEN 114 THEN to_char(d, 'HH24:MI:SS:MS')
    ELSE to_char(d, 'YYYY-MM-DD HH24:MI:SS.MS') END
$f$;

CREATE OR REPLACE FUNCTION qv_fn.qv_as_date(s text) RETURNS timestamp
LANGUAGE plpgsql IMMUTABLE AS $f$
BEGIN
  IF s ~ '^\s*\d{8}\s*$' THEN
    RETURN CAST(trim(s) AS timestamp);
  END IF;
  IF s ~ '^\s*\d{4}([-/.])\d{2}\1\d{2}([ T]\d{2}:\d{2}(:\d{2}(\.\d+)?)?)?\s*$' THEN
    RETURN CAST(regexp_replace(trim(s), '^(\d{4})[-/.](\d{2})[-/.](\d{2})', '\1-\2-\3') AS timestamp);
  END IF;
  RETURN NULL;
EXCEPTION WHEN others THEN
  RETURN NULL;
END
$f$;

CREATE OR REPLACE FUNCTION qv_fn.qv_char(v anyelement, n integer, pad boolean, style integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  t regtype := pg_typeof(v);
  num boolean := t IN ('smallint'::regtype, 'integer'::regtype, 'bigint'::regtype, 'numeric'::regtype,
                       'real'::regtype, 'double precision'::regtype);
  moment boolean := t IN ('timestamp without time zone'::regtype, 'timestamp with time zone'::regtype, 'date'::regtype);
  s text;
  d timestamp;
BEGIN
  IF v IS NULL THEN
    RETURN NULL;
  END IF;
  IF moment THEN
    s := qv_fn.qv_date_style(v::timestamp, CASE WHEN style >= 0 THEN style ELSE 121 END);
  ELSIF t IN ('real'::regtype, 'double precision'::regtype) THEN
    s := (v::numeric)::text;
  ELSE
    s := v::text;
    IF style >= 0 AND NOT num THEN
      d := qv_fn.qv_as_date(s);
      IF d IS NOT NULL THEN
        s := qv_fn.qv_date_style(d, style);
      END IF;
    END IF;
  END IF;
  IF n >= 0 THEN
    IF length(s) > n THEN
      IF num THEN
        RAISE EXCEPTION 'CONVERT: the value % does not fit CHAR(%)', s, n USING ERRCODE = '22003';
      END IF;
      s := left(s, n);
    ELSIF pad THEN
      s := rpad(s, n);
    END IF;
  END IF;
  RETURN s;
END
$f$;

CREATE OR REPLACE FUNCTION qv_fn.qv_int(v anyelement, lo bigint, hi bigint, what text) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $f$
DECLARE
  t regtype := pg_typeof(v);
  r bigint;
BEGIN
  IF v IS NULL THEN
    RETURN NULL;
  END IF;
  IF t IN ('numeric'::regtype, 'real'::regtype, 'double precision'::regtype) THEN
    r := trunc(v::numeric)::bigint;
  ELSIF t = 'boolean'::regtype THEN
    r := CASE WHEN v::boolean THEN 1 ELSE 0 END;
  ELSE
    r := v::text::bigint;
  END IF;
  IF r < lo OR r > hi THEN
    RAISE EXCEPTION 'CONVERT: the value % does not fit %', r, what USING ERRCODE = '22003';
  END IF;
  RETURN r;
END
$f$;

CREATE OR REPLACE FUNCTION qv_fn.round(x double precision, n integer) RETURNS double precision
LANGUAGE sql IMMUTABLE AS $f$ SELECT round(x::numeric, n)::double precision $f$;

CREATE OR REPLACE FUNCTION qv_fn.round(x numeric, n integer, f integer) RETURNS numeric
LANGUAGE sql IMMUTABLE AS $f$ SELECT CASE WHEN f IS NOT NULL AND f <> 0 THEN trunc(x, n) ELSE round(x, n) END $f$;

CREATE OR REPLACE FUNCTION qv_fn.round(x double precision, n integer, f integer) RETURNS double precision
LANGUAGE sql IMMUTABLE AS $f$
  SELECT (CASE WHEN f IS NOT NULL AND f <> 0 THEN trunc(x::numeric, n) ELSE round(x::numeric, n) END)::double precision
$f$;

CREATE OR REPLACE FUNCTION qv_fn.len(s text) RETURNS integer
LANGUAGE sql IMMUTABLE AS $f$ SELECT length(rtrim(s, ' ')) $f$;

CREATE OR REPLACE FUNCTION qv_fn.qv_functions_version() RETURNS integer
LANGUAGE sql IMMUTABLE AS $f$ SELECT )SQL" + std::to_string(PgFunctionsVersion) + R"SQL( $f$;
)SQL";
}
