-- The HR schema as a DBA creates it in SQL*Plus: the tables first, then their keys, comments,
-- sequences and views, then a load with the foreign keys disabled.

CREATE TABLE regions (
  region_id    NUMBER(4)    NOT NULL,
  region_name  VARCHAR2(25)
) TABLESPACE users PCTFREE 10;

CREATE TABLE departments (
  department_id    NUMBER(4),
  department_name  VARCHAR2(30) CONSTRAINT dept_name_nn NOT NULL,
  region_id        NUMBER(4),
  location         CHAR(3) DEFAULT 'HQ'
) TABLESPACE users
  STORAGE (INITIAL 64K NEXT 64K)
  LOGGING;

CREATE TABLE employees (
  employee_id     NUMBER(6),
  first_name      VARCHAR2(20),
  last_name       VARCHAR2(25) CONSTRAINT emp_last_name_nn NOT NULL,
  email           VARCHAR2(25) NOT NULL,
  hire_date       DATE DEFAULT SYSDATE NOT NULL,
  salary          NUMBER(8,2),
  manager_id      NUMBER(6),
  department_id   NUMBER(4)
) NOLOGGING COMPRESS;

CREATE TABLE job_history (
  employee_id    NUMBER(6) NOT NULL,
  start_date     DATE NOT NULL,
  end_date       DATE NOT NULL,
  department_id  NUMBER(4)
) ORGANIZATION HEAP;

ALTER TABLE regions ADD CONSTRAINT reg_id_pk PRIMARY KEY (region_id);

ALTER TABLE departments ADD (
  CONSTRAINT dept_id_pk PRIMARY KEY (department_id),
  CONSTRAINT dept_reg_fk FOREIGN KEY (region_id) REFERENCES regions (region_id)
);

ALTER TABLE employees ADD (
  CONSTRAINT emp_emp_id_pk PRIMARY KEY (employee_id),
  CONSTRAINT emp_email_uk UNIQUE (email),
  CONSTRAINT emp_salary_min CHECK (salary > 0),
  CONSTRAINT emp_dept_fk FOREIGN KEY (department_id) REFERENCES departments,
  CONSTRAINT emp_manager_fk FOREIGN KEY (manager_id) REFERENCES employees
);

ALTER TABLE job_history ADD (
  CONSTRAINT jhist_emp_id_st_date_pk PRIMARY KEY (employee_id, start_date),
  CONSTRAINT jhist_date_interval CHECK (end_date > start_date),
  CONSTRAINT jhist_emp_fk FOREIGN KEY (employee_id) REFERENCES employees ON DELETE CASCADE,
  CONSTRAINT jhist_dept_fk FOREIGN KEY (department_id) REFERENCES departments ON DELETE SET NULL
);

CREATE INDEX emp_department_ix ON employees (department_id) TABLESPACE users COMPUTE STATISTICS;
CREATE INDEX emp_name_ix ON employees (last_name, first_name);
CREATE INDEX emp_upper_name_ix ON employees (UPPER(last_name) DESC) ONLINE;

COMMENT ON TABLE regions IS 'Regions of the company';
COMMENT ON TABLE employees IS 'Employees; each may have a manager, also an employee';
COMMENT ON COLUMN employees.salary IS 'Monthly salary, more than zero';
COMMENT ON COLUMN departments.location IS 'Site code';

CREATE SEQUENCE departments_seq START WITH 10 INCREMENT BY 10 MAXVALUE 9990 NOCACHE NOCYCLE;
CREATE SEQUENCE employees_seq START WITH 100 INCREMENT BY 1 NOCACHE NOCYCLE;

CREATE OR REPLACE VIEW emp_details_view (employee_id, full_name, department_name, region_name) AS
SELECT e.employee_id, e.first_name || ' ' || e.last_name, d.department_name, r.region_name
  FROM employees e
  JOIN departments d ON d.department_id = e.department_id
  JOIN regions r ON r.region_id = d.region_id
WITH READ ONLY;

CREATE OR REPLACE VIEW dept_sizes AS
SELECT department_id, COUNT(*) AS headcount
  FROM employees
 GROUP BY department_id
/

ALTER TABLE employees DISABLE CONSTRAINT emp_dept_fk;
ALTER TABLE employees DISABLE CONSTRAINT emp_manager_fk;

INSERT INTO employees (employee_id, first_name, last_name, email, salary, manager_id, department_id)
VALUES (employees_seq.NEXTVAL, 'Steven', 'King', 'SKING', 24000, NULL, 10);
INSERT INTO employees (employee_id, first_name, last_name, email, salary, manager_id, department_id)
VALUES (employees_seq.NEXTVAL, 'Neena', 'Kochhar', 'NKOCHHAR', 17000, 100, 20);
INSERT INTO employees (employee_id, first_name, last_name, email, salary, manager_id, department_id)
VALUES (employees_seq.NEXTVAL, 'Lex', 'De Haan', 'LDEHAAN', 17000, 100, 20);

INSERT INTO regions VALUES (1, 'Europe');
INSERT INTO regions VALUES (2, 'Americas');
INSERT INTO departments (department_id, department_name, region_id)
VALUES (departments_seq.NEXTVAL, 'Administration', 2);
INSERT INTO departments (department_id, department_name, region_id)
VALUES (departments_seq.NEXTVAL, 'Marketing', 1);
INSERT INTO job_history VALUES (101, DATE '2019-01-01', DATE '2020-12-31', 20);
COMMIT;

ALTER TABLE employees ENABLE VALIDATE CONSTRAINT emp_dept_fk;
ALTER TABLE employees ENABLE CONSTRAINT emp_manager_fk;
